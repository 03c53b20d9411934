// The statements sent to the editor page. Arguments are inserted unchanged: the page receives
// JavaScript literals (the document as an object literal, progress as an array literal).

#include "teachingplanoperate/yrteachingplanoperate.h"

#include "teachingplanoperate/operatelog_p.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

void YRTeachingPlanOperate::returnJsonToWeb()
{
    emit signalCefRunJavaScript(QStringLiteral("returnJsonToWeb(%1)").arg(m_pPlanData->getJson()));
    downloadResourceFromJson();
}

void YRTeachingPlanOperate::returnSavePlanStatusToWeb(int status)
{
    m_operationFlags &= ~TPOF_Saving;
    int shownStatus = 0;
    int planId = -1;
    QString document;
    switch (status) {
    case 1: {
        const QString dir = m_pPlanData->getTeachingPlanDir();
        QFile::remove(dir + QLatin1String("/teachpkg.json.notsave"));
        QFile::remove(dir + QLatin1String("/teachpkg.json.localnew"));
        shownStatus = 1;
        planId = m_pPlanData->getTeachingPlanAttr().iPlanId;
        document = m_pPlanData->getJson();
        break;
    }
    case 3:
        shownStatus = 3;
        break;
    case 4:
        shownStatus = 1;
        planId = m_pPlanData->getTeachingPlanAttr().iPlanId;
        document = m_pPlanData->getJson();
        break;
    default:
        break;
    }
    const QString statement =
        QStringLiteral("savePlanStatus(%1, %2, %3)").arg(shownStatus).arg(planId).arg(document);
    qCDebug(lcOperate).noquote() << "YRTeachingPlanOperate::returnSavePlanStatusToWeb" << statement;
    emit signalCefRunJavaScript(statement);
}

void YRTeachingPlanOperate::sendProgressList(const QJsonArray &entries)
{
    sendProgressText(jsonArrayText(entries));
}

void YRTeachingPlanOperate::sendProgressText(const QString &entries)
{
    emit signalCefRunJavaScript(QStringLiteral("multiFileProcess(") + entries + QLatin1Char(')'));
}

QString YRTeachingPlanOperate::jsonArrayText(const QJsonArray &entries)
{
    return QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Indented));
}

QString YRTeachingPlanOperate::joinedJsonArrays(const QString &first, const QString &second)
{
    // Indented, an array is "[\n", its elements joined by ",\n", then "\n]\n"; empty, "[\n]\n".
    const QLatin1String empty("[\n]\n");
    if (second == empty)
        return first;
    if (first == empty)
        return second;
    return first.chopped(3) + QLatin1String(",\n") + second.midRef(2);
}

void YRTeachingPlanOperate::sendProgress(const QString &tempPath, int percent)
{
    sendProgressList(QJsonArray{progressEntry(tempPath, percent)});
}

QJsonObject YRTeachingPlanOperate::progressEntry(const QString &tempPath, int percent)
{
    return QJsonObject{{QStringLiteral("tempPath"), tempPath},
                       {QStringLiteral("percent"), percent}};
}
