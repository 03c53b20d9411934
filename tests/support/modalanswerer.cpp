#include "support/modalanswerer.h"

#include "interfaces/yrtpversiontransformdialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QtTest>

ModalAnswerer::ModalAnswerer()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(10);
}

void ModalAnswerer::chooseFile(const QString &path)
{
    enqueue([path](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        QVERIFY2(dialog, "expected a file dialog");
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept() checks the choice
    });
}

void ModalAnswerer::answerConversion(bool convert)
{
    enqueue([convert](QWidget *widget) {
        auto *dialog = qobject_cast<YRTPVersionTransformDialog *>(widget);
        QVERIFY2(dialog, "expected the conversion dialog");
        (convert ? dialog->convertButton() : dialog->cancelButton())->click();
    });
}

// A dialog can be seen, and answered, while exec() is still showing it, before exec() runs its
// own event loop: the answer then hides the dialog and that loop, started afterwards, waits
// forever. It shows as a poll from an event loop nested deeper than the one the answer came
// from, with the answered dialog hidden; the dialog is then shown and answered again.
void ModalAnswerer::poll()
{
    const int loopLevel = QThread::currentThread()->loopLevel();
    if (loopLevel < m_loopLevelOfLastAnswer)
        m_lastAnswer = nullptr; // the loop that the answer ended has returned
    if (m_lastAnswer && m_lastAnswered && !m_lastAnswered->isVisible() &&
        loopLevel > m_loopLevelOfLastAnswer) {
        m_lastAnswered->show();
        answer(m_lastAnswered, m_lastAnswer);
        return;
    }
    QWidget *dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible() || dialog == m_lastAnswered || m_answers.isEmpty())
        return;
    m_seen.append(QString::fromLatin1(dialog->metaObject()->className()));
    answer(dialog, m_answers.dequeue());
}

void ModalAnswerer::answer(QWidget *dialog, const Answer &answer)
{
    m_lastAnswered = dialog;
    m_lastAnswer = answer;
    m_loopLevelOfLastAnswer = QThread::currentThread()->loopLevel();
    answer(dialog);
}
