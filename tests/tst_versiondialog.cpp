#include "interfaces/yrtpversiontransformdialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestVersionDialog : public QObject
{
    Q_OBJECT

private slots:
    void execReportsTheAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("result");
        QTest::newRow("convert") << "convert" << int(QDialog::Accepted);
        QTest::newRow("cancel") << "cancel" << int(QDialog::Rejected);
        QTest::newRow("escape key") << "escape" << int(QDialog::Rejected);
    }

    // Answered, as a user would, once the dialog is shown as the active modal window.
    void execReportsTheAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(int, result);
        QWidget parent;
        parent.show();
        YRTPVersionTransformDialog dialog(&parent);
        QTimer poll;
        connect(&poll, &QTimer::timeout, &dialog, [&] {
            if (QApplication::activeModalWidget() != &dialog || !dialog.isVisible())
                return;
            poll.stop();
            if (answer == QLatin1String("convert"))
                dialog.convertButton()->click();
            else if (answer == QLatin1String("cancel"))
                dialog.cancelButton()->click();
            else
                QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        poll.start(10);
        QCOMPARE(dialog.exec(), result);
        QVERIFY(!poll.isActive());
    }

    void dialogIsModalAndOffersConversion()
    {
        YRTPVersionTransformDialog dialog;
        QVERIFY(dialog.isModal());
        QVERIFY(dialog.convertButton()->isDefault());
        const auto *message = dialog.findChild<QLabel *>();
        QVERIFY(message && message->text().contains(QStringLiteral("转换")));
    }
};

QTEST_MAIN(TestVersionDialog)
#include "tst_versiondialog.moc"
