#ifndef YRPLAN_MODALANSWERS_H
#define YRPLAN_MODALANSWERS_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QFileDialog;
class QWidget;

// Answers the modal dialogs that the controller shows, as its user would, from what the
// command line says: a file dialog gets the command's file (or is cancelled when there is
// none), the question whether to replace an existing file is answered by --force, and the
// question whether to convert an older plan by --convert. It watches
// QApplication::activeModalWidget() while it lives.
class ModalDialogAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit ModalDialogAnswerer(QObject *parent = nullptr);

    // The file that the next file dialog is given; empty: file dialogs are cancelled.
    void setFile(const QString &path) { m_file = path; }
    // Whether an existing file may be replaced, and an older plan converted.
    void setForce(bool force) { m_force = force; }
    void setConvert(bool convert) { m_convert = convert; }

    // Forgets the answers given so far.
    void clearOutcomes()
    {
        m_overwriteRefused = false;
        m_conversionDeclined = false;
    }
    // True once the replacement of an existing file was refused (no --force).
    bool overwriteRefused() const { return m_overwriteRefused; }
    // True once the conversion of an older plan was declined (no --convert).
    bool conversionDeclined() const { return m_conversionDeclined; }

private:
    void answerActiveModalWidget();
    void answerFileDialog(QFileDialog *dialog);
    // Runs answer from the event loop rather than inside the poll, so that a dialog that the
    // answer opens (the overwrite question of a file dialog) is answered in its turn.
    void answerLater(QWidget *widget, const std::function<void()> &answer);

    QTimer m_poll;
    QString m_file;
    bool m_force = false;
    bool m_convert = false;
    bool m_overwriteRefused = false;
    bool m_conversionDeclined = false;
    bool m_answerPending = false;
    // The file dialog that was given the file; when it stays up, it did not take it.
    QPointer<QFileDialog> m_answeredFileDialog;
};

#endif // YRPLAN_MODALANSWERS_H
