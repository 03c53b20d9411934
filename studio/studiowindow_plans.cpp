// Bringing plans into the editor and taking them out: new, open, import, rename, delete, close.

#include "studiowindow.h"

#include "interfaces/yrtpversiontransformdialog.h"
#include "localfilecopier.h"
#include "pageview.h"
#include "plandata/planpaths.h"
#include "studiolog.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>

namespace {

// The mark that comes back with the version of a package unpacked for opening.
const QLatin1String kOpenMark("yrstudio-open");
const QLatin1String kDocumentName("teachpkg.json");

QString packageFilter()
{
    return StudioWindow::tr("Plan packages (*.yrtp)");
}

} // namespace

void StudioWindow::newPlan()
{
    closePlanThen([this] { m_controller->createTeachingPlan(); });
}

void StudioWindow::askOpenPackage()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open Package"), QString(), packageFilter(), nullptr,
                                     QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty())
        openPackage(path);
}

void StudioWindow::openPackage(const QString &path)
{
    closePlanThen([this, path] {
        if (m_controller->analysisLocalTeachingPlan(path, kOpenMark) != 1)
            showMessage(tr("%1 is not a plan package.").arg(QDir::toNativeSeparators(path)));
    });
}

void StudioWindow::takeJsonVersion(int version, const QString &mark)
{
    if (mark != kOpenMark)
        return;
    bool open = version == TPV_Version5;
    if (version == TPV_Version4) {
        // Opening converts an older plan for good: the teacher decides.
        YRTPVersionTransformDialog question(this);
        open = question.exec() == QDialog::Accepted;
    } else if (version != TPV_Version5) {
        showMessage(tr("The package holds no plan this studio can open."));
    }
    if (open)
        m_controller->openLocalTeachingPlan();
    else
        closePlanNow();
}

void StudioWindow::askOpenDirectory()
{
    const QString directory = QFileDialog::getExistingDirectory(
        this, tr("Open Plan Folder"), YRPlanPaths::teachingPlanRoot(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!directory.isEmpty())
        openPlanDirectory(directory);
}

void StudioWindow::openPlanDirectory(const QString &directory)
{
    const QString root = QDir(YRPlanPaths::teachingPlanRoot()).absolutePath();
    const QString document = QDir(directory).absoluteFilePath(kDocumentName);
    if (!YRPlanPaths::isInside(root, document) || !QFileInfo(document).isFile()) {
        showMessage(tr("%1 is no plan folder under %2.")
                        .arg(QDir::toNativeSeparators(directory), QDir::toNativeSeparators(root)));
        return;
    }
    closePlanThen([this, root, document] {
        // Opening names the plan: it keeps the name its document gives it.
        const QJsonObject description =
            QJsonDocument::fromJson(m_planData.getJson(document, true).toUtf8())
                .object()
                .value(QStringLiteral("description"))
                .toObject();
        QString name = description.value(QStringLiteral("name")).toString();
        if (name.isEmpty())
            name = QFileInfo(QFileInfo(document).absolutePath()).fileName();
        m_controller->openTeachingPlan(QDir(root).relativeFilePath(document),
                                       QStringLiteral("local"), QString(), name,
                                       QStringLiteral("5.0"));
    });
}

void StudioWindow::importPackage()
{
    closePlanThen([this] {
        m_importing = true;
        if (!m_controller->importTeachingPlan())
            m_importing = false;
    });
}

void StudioWindow::askRename()
{
    if (!hasOpenPlan())
        return;
    bool accepted = false;
    const QString name = QInputDialog::getText(this, tr("Rename Plan"), tr("New name of the plan:"),
                                               QLineEdit::Normal,
                                               m_planData.getTeachingPlanAttr().strName, &accepted);
    if (accepted)
        renamePlan(name);
}

void StudioWindow::renamePlan(const QString &name)
{
    if (hasOpenPlan() && !name.trimmed().isEmpty())
        m_controller->renameTeachingPlan(QString::number(m_controller->getId()), name.trimmed(),
                                         QString(), QStringLiteral("1"));
}

void StudioWindow::deletePlan()
{
    if (!hasOpenPlan())
        return;
    const QString name = m_planData.getTeachingPlanAttr().strName;
    const int cloudId = isSignedIn() ? m_controller->getId() : -1;
    const QString question =
        cloudId >= 0 ? tr("Delete the plan \"%1\" and all its files from this computer and from "
                          "the cloud?")
                     : tr("Delete the plan \"%1\" and all its files from this computer? Packages "
                          "saved elsewhere stay.");
    const auto answer =
        QMessageBox::question(this, tr("Delete Plan"), question.arg(name),
                              QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer != QMessageBox::Yes)
        return;
    const QString jsonPath =
        m_planData.getPlanInfo().value(QStringLiteral("jsonCloudRoad")).toString();
    const QString planId = QString::number(m_controller->getId());
    closePlanNow();
    m_controller->deleteTeachingPlan(planId, jsonPath);
    deleteCloudRecord(cloudId);
}

void StudioWindow::closePlanThen(const std::function<void()> &next)
{
    if (!hasUnsavedChanges()) {
        closePlanNow();
        next();
        return;
    }
    const auto answer = QMessageBox::question(
        this, tr("Unsaved Changes"),
        tr("The plan \"%1\" has changes that are not saved. Save them first?")
            .arg(m_planData.getTeachingPlanAttr().strName),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard) {
        closePlanNow();
        next();
    } else if (answer == QMessageBox::Save) {
        m_afterSave = [this, next] {
            closePlanNow();
            next();
        };
        savePlan();
    }
}

void StudioWindow::closePlanNow()
{
    // A save that waited for the copies goes with the plan.
    disconnect(m_copier, &LocalFileCopier::idle, this, &StudioWindow::savePlan);
    m_copier->cancelAll();
    m_afterSave = nullptr;
    const bool wasOpen = hasOpenPlan();
    m_controller->closeTeachingPlan();
    m_savedDocument.clear();
    // The page shows no plan: the statement the controller sends for an empty document.
    if (wasOpen)
        m_view->runStatement(QStringLiteral("returnJsonToWeb()"));
    updateTitle();
}
