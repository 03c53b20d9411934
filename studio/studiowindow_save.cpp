// Keeping the open plan: saving it, writing a copy into a package, and adding files to it.

#include "studiowindow.h"

#include "interfaces/cyrcommonutils.h"
#include "localfilecopier.h"
#include "plandata/planpaths.h"
#include "studiolog.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

void StudioWindow::savePlan()
{
    if (!hasOpenPlan())
        return;
    // A package packed now would hold the half-copied file; the save waits for the copies.
    if (m_copier->isBusy()) {
        showMessage(tr("The plan is saved once its files are copied."));
        connect(m_copier, &LocalFileCopier::idle, this, &StudioWindow::savePlan,
                Qt::UniqueConnection);
        return;
    }
    disconnect(m_copier, &LocalFileCopier::idle, this, &StudioWindow::savePlan);
    // The outcome reaches the page, and this window, as savePlanStatus (takeStatement).
    m_controller->saveTeachingPlan();
}

void StudioWindow::askSavePlanCopy()
{
    if (!hasOpenPlan())
        return;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString proposed =
        QDir(folder).filePath(m_planData.getTeachingPlanAttr().strName + QStringLiteral(".yrtp"));
    QString target = QFileDialog::getSaveFileName(this, tr("Save as Package"), proposed,
                                                  tr("Plan packages (*.yrtp)"), nullptr,
                                                  QFileDialog::DontUseNativeDialog);
    if (target.isEmpty())
        return;
    if (QFileInfo(target).suffix() != QLatin1String("yrtp"))
        target += QStringLiteral(".yrtp");
    savePlanCopy(target);
}

bool StudioWindow::savePlanCopy(const QString &target)
{
    if (!hasOpenPlan())
        return false;
    const QString planDir = m_planData.getTeachingPlanDir();
    // A package inside the plan would pack itself.
    const bool written = !YRPlanPaths::isInside(planDir, QFileInfo(target).absoluteFilePath()) &&
                         m_planData.saveJson(m_planData.getJson(), QString()) &&
                         CYrCommonUtils::compressDir_level(target, planDir, true, 0);
    showMessage(
        written ? tr("A copy of the plan was written to %1.").arg(QDir::toNativeSeparators(target))
                : tr("No copy could be written to %1.").arg(QDir::toNativeSeparators(target)));
    return written;
}

void StudioWindow::askFilesFor(const QString &stepId, const QString &taskId)
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Add Files"), QString(), QString(), nullptr, QFileDialog::DontUseNativeDialog);
    addFiles(files, stepId, taskId);
}

void StudioWindow::addFiles(const QStringList &files, const QString &stepId, const QString &taskId)
{
    if (hasOpenPlan() && !files.isEmpty())
        m_copier->enqueue(files, stepId, taskId);
}
