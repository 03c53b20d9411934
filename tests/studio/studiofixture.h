#ifndef STUDIOFIXTURE_H
#define STUDIOFIXTURE_H

#include "pagebridge.h"
#include "pageview.h"
#include "studiowindow.h"
#include "support/modalanswerer.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The studio window on a teaching-plan root of its own, shown, with its page loaded and
// connected; modal dialogs are answered through answers.
struct StudioFixture
{
    StudioFixture()
    {
        qputenv("ALLUSERSPROFILE", QFile::encodeName(root.path()));
        window = std::make_unique<StudioWindow>();
        states = std::make_unique<QSignalSpy>(
            window->controller(), &YRTeachingPlanOperate::signalTeachingPlanOperateState);
        window->show();
        if (!QTest::qWaitFor([this] { return window->view()->isReady(); }, 30000))
            qWarning("the editor page did not connect to the window");
    }
    ~StudioFixture()
    {
        states.reset();
        window.reset();
        // A sign-in leaves the teacher on the application object.
        qApp->setProperty("uid", QString());
        qApp->setProperty("ResourceDomain", QVariant());
    }

    bool hasState(int state) const
    {
        for (const QList<QVariant> &call : *states) {
            if (call.at(0).toInt() == state)
                return true;
        }
        return false;
    }

    // The value of script in the page, waited for.
    QVariant js(const QString &script) const
    {
        auto result = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
        window->view()->page()->runJavaScript(script, [result](const QVariant &value) {
            *result = {true, value};
        });
        if (!QTest::qWaitFor([result] { return result->first; }, 20000))
            qWarning("the page did not answer: %s", qPrintable(script));
        return result->second;
    }

    // Runs script with the array values bound to the name v, passed as JSON so that no
    // character of them can change the script.
    QVariant js(const QString &script, const QJsonArray &values) const
    {
        return js(QStringLiteral("((v) => { %1 })(%2)")
                      .arg(script, QString::fromUtf8(
                                       QJsonDocument(values).toJson(QJsonDocument::Compact))));
    }

    void click(const QString &selector) const
    {
        js(QStringLiteral("document.querySelector(v[0]).click()"), {selector});
    }

    // Types text into the field at selector and commits it, as leaving the field does.
    void type(const QString &selector, const QString &text) const
    {
        js(QStringLiteral("const f = document.querySelector(v[0]); f.value = v[1];"
                          "f.dispatchEvent(new Event('change', {bubbles: true}));"),
           {selector, text});
    }

    // The plan as the page shows it: names as the teacher reads them, ids and kinds as the
    // elements carry them.
    QJsonObject pageTree() const
    {
        const QString script = QStringLiteral(R"(JSON.stringify((() => {
            const nodes = (list) => Array.from(list.children, (n) => ({
                id: n.dataset.id, kind: n.dataset.kind,
                name: n.querySelector('.node-name').textContent }));
            return {
                name: document.getElementById('plan-name').value,
                introspection: document.getElementById('introspection').value,
                steps: Array.from(document.getElementById('steps').children, (s) => ({
                    id: s.dataset.id, type: s.dataset.type,
                    name: s.querySelector('.step-name').value,
                    nodes: nodes(s.querySelector(':scope > .nodes')),
                    tasks: Array.from(s.querySelector(':scope > .tasks').children, (t) => ({
                        id: t.dataset.id, name: t.querySelector('.task-name').value,
                        desc: t.querySelector('.task-desc').value,
                        nodes: nodes(t.querySelector(':scope > .nodes')) })) })) };
        })()))");
        return QJsonDocument::fromJson(js(script).toString().toUtf8()).object();
    }

    // The same tree, read from the plan data's document.
    QJsonObject documentTree() const
    {
        const QJsonObject document =
            QJsonDocument::fromJson(window->planData()->getJson().toUtf8()).object();
        const QJsonObject description = document.value(QStringLiteral("description")).toObject();
        QJsonArray steps;
        for (const QJsonValue &stepValue : document.value(QStringLiteral("steps")).toArray()) {
            const QJsonObject step = stepValue.toObject();
            const QJsonObject attr = step.value(QStringLiteral("attr")).toObject();
            QJsonArray tasks;
            for (const QJsonValue &taskValue : step.value(QStringLiteral("tasks")).toArray()) {
                const QJsonObject task = taskValue.toObject();
                tasks.append(
                    QJsonObject{{QStringLiteral("id"), task.value(QStringLiteral("taskId"))},
                                {QStringLiteral("name"), task.value(QStringLiteral("taskName"))},
                                {QStringLiteral("desc"), task.value(QStringLiteral("taskDesc"))},
                                {QStringLiteral("nodes"), nodesOf(task)}});
            }
            steps.append(
                QJsonObject{{QStringLiteral("id"), attr.value(QStringLiteral("stepId"))},
                            {QStringLiteral("type"), attr.value(QStringLiteral("stepType"))},
                            {QStringLiteral("name"), attr.value(QStringLiteral("stepName"))},
                            {QStringLiteral("nodes"), nodesOf(step)},
                            {QStringLiteral("tasks"), tasks}});
        }
        return {
            {QStringLiteral("name"), description.value(QStringLiteral("name"))},
            {QStringLiteral("introspection"), description.value(QStringLiteral("introspection"))},
            {QStringLiteral("steps"), steps}};
    }

    static QJsonArray nodesOf(const QJsonObject &parent)
    {
        static const QMap<QString, QString> nameKeys = {
            {QStringLiteral("file"), QStringLiteral("fileName")},
            {QStringLiteral("question"), QStringLiteral("chName")},
            {QStringLiteral("paper"), QStringLiteral("paperName")},
            {QStringLiteral("subjectApp"), QStringLiteral("appName")},
            {QStringLiteral("ebook"), QStringLiteral("pageName")}};
        QJsonArray nodes;
        for (const QJsonValue &value : parent.value(QStringLiteral("nodes")).toArray()) {
            const QJsonObject node = value.toObject();
            const QString kind = node.value(QStringLiteral("nodeType")).toString();
            nodes.append(
                QJsonObject{{QStringLiteral("id"), node.value(QStringLiteral("nodeId"))},
                            {QStringLiteral("kind"), kind},
                            {QStringLiteral("name"), node.value(QStringLiteral("nodeContent"))
                                                         .toObject()
                                                         .value(nameKeys.value(kind))}});
        }
        return nodes;
    }

    QTemporaryDir root;
    ModalAnswerer answers;
    std::unique_ptr<StudioWindow> window;
    std::unique_ptr<QSignalSpy> states;
};

#endif // STUDIOFIXTURE_H
