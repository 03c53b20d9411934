#include "modalanswers.h"

#include "interfaces/yrtpversiontransformdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

// Often enough that a dialog is answered before anyone would notice it.
const int kPollIntervalMs = 20;

} // namespace

ModalDialogAnswerer::ModalDialogAnswerer(QObject *parent) : QObject(parent)
{
    m_poll.setInterval(kPollIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, &ModalDialogAnswerer::answerActiveModalWidget);
    m_poll.start();
}

void ModalDialogAnswerer::answerLater(QWidget *widget, const std::function<void()> &answer)
{
    m_answerPending = true;
    const QPointer<QWidget> target(widget);
    QMetaObject::invokeMethod(
        this,
        [this, target, answer] {
            m_answerPending = false;
            if (target && target->isVisible())
                answer();
        },
        Qt::QueuedConnection);
}

void ModalDialogAnswerer::answerActiveModalWidget()
{
    if (m_answerPending || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    QWidget *widget = QApplication::activeModalWidget();
    if (!widget || !widget->isVisible())
        return;

    if (auto *fileDialog = qobject_cast<QFileDialog *>(widget)) {
        answerFileDialog(fileDialog);
    } else if (auto *conversion = qobject_cast<YRTPVersionTransformDialog *>(widget)) {
        m_conversionDeclined = !m_convert;
        QAbstractButton *button =
            m_convert ? conversion->convertButton() : conversion->cancelButton();
        answerLater(widget, [button] { button->click(); });
    } else if (auto *box = qobject_cast<QMessageBox *>(widget)) {
        // The one question a file dialog asks: replace the existing file?
        QAbstractButton *yes = box->button(QMessageBox::Yes);
        QAbstractButton *no = box->button(QMessageBox::No);
        if (yes && no) {
            m_overwriteRefused = !m_force;
            QAbstractButton *button = m_force ? yes : no;
            answerLater(widget, [button] { button->click(); });
        } else {
            answerLater(widget, [box] { box->reject(); });
        }
    } else if (auto *dialog = qobject_cast<QDialog *>(widget)) {
        answerLater(widget, [dialog] { dialog->reject(); });
    } else {
        answerLater(widget, [widget] { widget->close(); });
    }
}

void ModalDialogAnswerer::answerFileDialog(QFileDialog *dialog)
{
    // Still up after it was given the file: it refused it (the replacement was declined, or
    // the name is a folder). Cancelling ends the question instead of asking it again.
    if (m_file.isEmpty() || m_answeredFileDialog == dialog) {
        answerLater(dialog, [dialog] { dialog->reject(); });
        return;
    }
    m_answeredFileDialog = dialog;
    const QString file = QDir::cleanPath(QFileInfo(m_file).absoluteFilePath());
    answerLater(dialog, [dialog, file] {
        // selectFile leaves alone a file name field that has the focus, as the user may be
        // typing there.
        if (QWidget *focus = dialog->focusWidget())
            focus->clearFocus();
        dialog->selectFile(file);
        // The dialog must have taken exactly this file, or the plan would go elsewhere.
        const QStringList selected = dialog->selectedFiles();
        if (selected.size() != 1 || QDir::cleanPath(selected.first()) != file) {
            dialog->reject();
            return;
        }
        // QFileDialog's own accept (it checks the file) is reached through QDialog's.
        static_cast<QDialog *>(dialog)->accept();
    });
}
