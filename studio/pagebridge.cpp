#include "pagebridge.h"

#include "pagetexts.h"
#include "studiolog.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QLocale>

PageBridge::PageBridge(YRTeachingPlanOperate *controller, QObject *parent)
    : QObject(parent), m_controller(controller), m_texts(pageTexts())
{}

QString PageBridge::language() const
{
    // With its region, which tells the engine's font choice simplified from traditional Chinese.
    const QString name = QLocale().name();
    return name == QLatin1String("C") ? QStringLiteral("en")
                                      : QString(name).replace(QLatin1Char('_'), QLatin1Char('-'));
}

bool PageBridge::planOpen() const
{
    const int open = TPOF_Editing | TPOF_Opened;
    if ((m_controller->operationFlags() & open) == open)
        return true;
    qCDebug(lcStudio) << "PageBridge: no plan is open in the editor; the page's request is dropped";
    return false;
}

void PageBridge::appendNode(const QString &stepId, const QString &taskId, const QString &nodeJson)
{
    if (planOpen())
        m_controller->appendNode(stepId, taskId, nodeJson);
}

void PageBridge::setIntrospection(const QString &text)
{
    if (planOpen())
        m_controller->setIntrospection(text);
}

void PageBridge::setBoard(int boardId)
{
    if (planOpen())
        m_controller->setBoard(boardId);
}

void PageBridge::addStepOrTask(const QString &stepId, const QString &name,
                               const QString &stepTypeName)
{
    if (planOpen())
        m_controller->addStepOrTask(stepId, name, stepTypeName);
}

void PageBridge::deleteStepOrTask(const QString &id, int kind)
{
    if (planOpen())
        m_controller->deleteStepOrTask(id, kind);
}

void PageBridge::renameStepOrTask(const QString &stepId, const QString &taskId, const QString &name,
                                  const QString &desc)
{
    if (planOpen())
        m_controller->renameStepOrTask(stepId, taskId, name, desc);
}

void PageBridge::orderStepOrTask(const QString &movingId, const QString &beforeId,
                                 const QString &parentJson, int kind)
{
    if (planOpen())
        m_controller->orderStepOrTask(movingId, beforeId, parentJson, kind);
}

void PageBridge::setCurrentStepOrTask(const QString &stepId, const QString &taskId)
{
    if (planOpen())
        m_controller->setCurrentStepOrTask(stepId, taskId);
}

void PageBridge::renamePlan(const QString &name)
{
    // Mode 1 renames the plan open in the editor; its id and document path are not needed.
    if (planOpen() && !name.trimmed().isEmpty())
        m_controller->renameTeachingPlan(QString::number(m_controller->getId()), name, QString(),
                                         QStringLiteral("1"));
}

void PageBridge::save()
{
    if (planOpen())
        emit saveRequested();
}

void PageBridge::chooseFiles(const QString &stepId, const QString &taskId)
{
    if (planOpen())
        emit filesRequested(stepId, taskId);
}

void PageBridge::dropFiles(const QString &stepId, const QString &taskId)
{
    if (planOpen())
        emit filesDropped(stepId, taskId);
}

void PageBridge::pageReady()
{
    emit readyForStatements();
}

void PageBridge::pageRendered()
{
    emit rendered();
}

void PageBridge::resendDocument()
{
    qCWarning(lcStudio) << "the editor page could not take a changed part of its document;"
                        << "sending all of it";
    emit documentWanted();
}
