#ifndef OPERATEFIXTURE_H
#define OPERATEFIXTURE_H

#include "plandata/yrplandata.h"
#include "resourcemanage/yrresourcemanage.h"
#include "support/fakenetworkmanager.h"
#include "support/planfixtures.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

// One host as the application builds it: plan data, resource manager and controller over the
// scriptable network manager, with spies on the controller's signals. The teaching-plan root
// lies in a temporary directory (ALLUSERSPROFILE), and nobody is signed in unless a test says.
struct OperateFixture
{
    OperateFixture()
    {
        QCoreApplication::instance()->setProperty("uid", QString());
        // As the host does before anything else: the plan data learns its root.
        data.initTeachingPlanAttr();
        resources = std::make_unique<YRResourceManage>(&net);
        operate = std::make_unique<YRTeachingPlanOperate>(&data, &net, resources.get());
        states = std::make_unique<QSignalSpy>(
            operate.get(), &YRTeachingPlanOperate::signalTeachingPlanOperateState);
        scripts = std::make_unique<QSignalSpy>(operate.get(),
                                               &YRTeachingPlanOperate::signalCefRunJavaScript);
        versions =
            std::make_unique<QSignalSpy>(operate.get(), &YRTeachingPlanOperate::signalJsonVersion);
    }
    ~OperateFixture()
    {
        QCoreApplication::instance()->setProperty("uid", QString());
        // The controller goes first: it must not outlive the objects it was given.
        states.reset();
        scripts.reset();
        versions.reset();
        operate.reset();
        resources.reset();
    }

    QString root() const { return data.getTeachingPlanRoot(); }
    QString planDir() const { return data.getTeachingPlanDir(); }
    QString document() const { return planDir() + QStringLiteral("/teachpkg.json"); }

    // The state codes reported so far, in order.
    QList<int> stateCodes() const
    {
        QList<int> codes;
        for (const QList<QVariant> &call : *states)
            codes.append(call.at(0).toInt());
        return codes;
    }
    // The statements sent to the page so far that start with prefix.
    QStringList statements(const QString &prefix = QString()) const
    {
        QStringList found;
        for (const QList<QVariant> &call : *scripts) {
            const QString statement = call.at(0).toString();
            if (statement.startsWith(prefix))
                found.append(statement);
        }
        return found;
    }

    // Writes a plan document at root/relative and returns its absolute path.
    QString writePlan(const QString &relative, const QString &text)
    {
        const QString path = root() + QLatin1Char('/') + relative;
        PlanFixtures::writeFile(path, text.toUtf8());
        return path;
    }

    // Set before the plan data exists: it reads the root as it is made.
    struct Profile
    {
        Profile() { qputenv("ALLUSERSPROFILE", dir.path().toUtf8()); }
        QString path() const { return dir.path(); }
        QTemporaryDir dir;
    } profile;
    FakeNetWorkManager net;
    YRPlanData data;
    std::unique_ptr<YRResourceManage> resources;
    std::unique_ptr<YRTeachingPlanOperate> operate;
    std::unique_ptr<QSignalSpy> states;
    std::unique_ptr<QSignalSpy> scripts;
    std::unique_ptr<QSignalSpy> versions;
};

#endif // OPERATEFIXTURE_H
