#include "planfilescheme.h"

#include "plandata/iyrplandata.h"
#include "plandata/planpaths.h"
#include "studiolog.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

QByteArray PlanFileSchemeHandler::scheme()
{
    return QByteArrayLiteral("yrplan-file");
}

void PlanFileSchemeHandler::registerScheme()
{
    QWebEngineUrlScheme planFiles(scheme());
    planFiles.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // Local like the page itself, which comes from the application's resources.
    planFiles.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(planFiles);
}

PlanFileSchemeHandler::PlanFileSchemeHandler(const IYRPlanData *plan, QObject *parent)
    : QWebEngineUrlSchemeHandler(parent), m_plan(plan)
{}

QString PlanFileSchemeHandler::planFileOf(const QUrl &url) const
{
    const QString planDir = m_plan->getTeachingPlanDir();
    QString file;
    if (planDir.isEmpty() ||
        !YRPlanPaths::planFilePath(planDir, url.path(QUrl::FullyDecoded), &file))
        return QString();
    // A link inside the plan may point anywhere: judge where the file really is.
    const QFileInfo info(file);
    const QString realDir = QFileInfo(planDir).canonicalFilePath();
    if (!info.isFile() || realDir.isEmpty() ||
        !YRPlanPaths::isInside(realDir, info.canonicalFilePath()))
        return QString();
    return info.canonicalFilePath();
}

void PlanFileSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job)
{
    const QString file = job->requestMethod() == "GET" ? planFileOf(job->requestUrl()) : QString();
    if (file.isEmpty()) {
        qCDebug(lcStudio) << "PlanFileSchemeHandler::requestStarted refused"
                          << job->requestUrl().toString();
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto *device = new QFile(file, job);
    if (!device->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::RequestFailed);
        return;
    }
    job->reply(QMimeDatabase().mimeTypeForFile(file).name().toUtf8(), device);
}
