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

void ModalAnswerer::poll()
{
    QWidget *dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible() || dialog == m_lastAnswered || m_answers.isEmpty())
        return;
    m_lastAnswered = dialog;
    m_seen.append(QString::fromLatin1(dialog->metaObject()->className()));
    m_answers.dequeue()(dialog);
}
