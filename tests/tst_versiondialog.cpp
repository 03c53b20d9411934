#include "interfaces/yrtpversiontransformdialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Answers the next modal dialog once it is shown, as a user would.
void answerModalDialog(std::function<void(YRTPVersionTransformDialog *)> answer)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer]() {
        auto *dialog =
            qobject_cast<YRTPVersionTransformDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        answer(dialog);
    });
    poll->start(10);
}

} // namespace

class VersionDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void execReportsTheAnswer_data();
    void execReportsTheAnswer();
    void dialogIsModalAndAsksTheQuestion();
    void parentedDialogIsItsOwnModalWindow();
};

void VersionDialogTest::execReportsTheAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("convert") << "convert" << int(QDialog::Accepted);
    QTest::newRow("cancel") << "cancel" << int(QDialog::Rejected);
    QTest::newRow("escape key") << "escape" << int(QDialog::Rejected);
    QTest::newRow("window closed") << "close" << int(QDialog::Rejected);
}

void VersionDialogTest::execReportsTheAnswer()
{
    QFETCH(QString, answer);
    QFETCH(int, result);
    YRTPVersionTransformDialog dialog;
    bool answered = false;
    answerModalDialog([&](YRTPVersionTransformDialog *shown) {
        answered = shown == &dialog;
        if (answer == QLatin1String("convert"))
            shown->convertButton()->click();
        else if (answer == QLatin1String("cancel"))
            shown->cancelButton()->click();
        else if (answer == QLatin1String("escape"))
            QTest::keyClick(shown, Qt::Key_Escape);
        else
            shown->close();
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(answered);
    QVERIFY(!dialog.isVisible());
}

void VersionDialogTest::dialogIsModalAndAsksTheQuestion()
{
    YRTPVersionTransformDialog dialog;
    QVERIFY(dialog.isModal());
    QVERIFY(!dialog.windowTitle().isEmpty());
    QVERIFY(dialog.convertButton());
    QVERIFY(dialog.cancelButton());
    QVERIFY(dialog.convertButton()->isDefault());
    QVERIFY(!dialog.convertButton()->text().isEmpty());
    QVERIFY(!dialog.cancelButton()->text().isEmpty());
    const QList<QLabel *> labels = dialog.findChildren<QLabel *>();
    QVERIFY(!labels.isEmpty());
    QVERIFY(labels.first()->text().contains(QStringLiteral("转换")));
}

void VersionDialogTest::parentedDialogIsItsOwnModalWindow()
{
    QWidget parent;
    parent.resize(800, 600);
    parent.show();
    YRTPVersionTransformDialog dialog(&parent);
    QCOMPARE(dialog.parentWidget(), &parent);
    QVERIFY(dialog.isWindow());
    answerModalDialog([](YRTPVersionTransformDialog *shown) { shown->accept(); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
}

QTEST_MAIN(VersionDialogTest)
#include "tst_versiondialog.moc"
