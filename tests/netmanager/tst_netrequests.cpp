#include "cloudfixture.h"

#include <QJsonArray>
#include <QtTest>

namespace {

const QString kCreate = QStringLiteral("api/teaplan/createplan");
const QString kList = QStringLiteral("api/teaplan/list");

QMap<QString, QString> planRecord(const QString &uid, const QString &title)
{
    return {{"p_author", uid},    {"p_block", "10"},
            {"p_board", "0"},     {"p_date", "1767225600"},
            {"p_jsonmd5", "x"},   {"p_rethink", ""},
            {"p_stepnum", "1"},   {"p_title", title},
            {"p_version", "5.0"}, {"p_jsonroad", uid + "/20260101/plan-a/teachpkg.json"}};
}

} // namespace

// Signing in, plan-service requests and the watch over the service, against yrcloud.
class TestNetRequests : public QObject
{
    Q_OBJECT

private slots:
    void signingInTakesTheSession()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        QVERIFY(cloud.manager.isSignedIn());
        YRHttpNetWorkManager::applySessionToApplication(cloud.session);
        QCOMPARE(QCoreApplication::instance()->property("uid").toString(), cloud.uid);
        const QJsonObject domains =
            QCoreApplication::instance()->property("ResourceDomain").toJsonObject();
        QVERIFY(domains.value("jsonroad")
                    .toObject()
                    .value("fileDomain")
                    .toString()
                    .startsWith(cloud.proxy.url().toString()));
        QVERIFY(!cloud.bucket("localUpload").isEmpty());
    }

    void signingInSaysWhatFailed_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("answerStatus"); // the proxy's own answer; 0 for none
        QTest::addColumn<QString>("error");
        QTest::newRow("token refused") << "not-a-token" << 0 << "the token was refused";
        QTest::newRow("not a session") << "" << 200 << "the service's answer is not a session";
        QTest::newRow("service fails") << "" << 503 << "the service answered HTTP 503";
    }
    void signingInSaysWhatFailed()
    {
        QFETCH(QString, token);
        QFETCH(int, answerStatus);
        QFETCH(QString, error);
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        if (answerStatus != 0)
            cloud.proxy.addRule({FaultProxy::Fault::Status, "GET", "/api/session", 0, 0,
                                 answerStatus, "<html>busy</html>", 1});
        YRHttpNetWorkManager other;
        QSignalSpy finished(&other, &YRHttpNetWorkManager::signInFinished);
        other.signIn(cloud.proxy.url(), token.isEmpty() ? cloud.token : token);
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY2(finished.first().at(2).toString().startsWith(error),
                 qPrintable(finished.first().at(2).toString()));
        QVERIFY(!other.isSignedIn());
    }

    void requestsCarryTheirParametersWhole()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        QSignalSpy finished(cloud.http(), &YRHttpRequest::sglHttpRequestFinish);
        // Characters that a form body or a query would take apart if sent as they are.
        const QString title = QStringLiteral("1+1 = 2 & 教案 %20?");
        QVERIFY(cloud.http()->sendRequest(planRecord(cloud.uid, title), kCreate, "", 0));
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.first().at(0).toString(), kCreate);
        const QJsonObject created = finished.first().at(1).toJsonObject();
        QVERIFY(created.value("success").toBool());

        QVERIFY(cloud.http()->sendQueryRequest({}, kList, "", 0));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, kWaitMs);
        const QJsonArray plans = finished.last().at(1).toJsonObject().value("data").toArray();
        QCOMPARE(plans.size(), 1);
        QCOMPARE(plans.first().toObject().value("p_title").toString(), title);
        QCOMPARE(finished.last().at(2).toString(), cloud.proxy.url().toString() + "/" + kList);
    }

    void eachFailedRequestIsAnsweredOnce_data()
    {
        QTest::addColumn<int>("fault"); // -1: none; else a FaultProxy::Fault
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("extraSignal");
        QTest::newRow("token refused") << -1 << 0 << "bad" << 401 << "";
        QTest::newRow("another user's plan") << -1 << 0 << "" << 403 << "";
        QTest::newRow("body not JSON") << int(FaultProxy::Fault::Status) << 200 << "" << 1003 << "";
        QTest::newRow("service error") << int(FaultProxy::Fault::Status) << 500 << "" << 500 << "";
        QTest::newRow("time-out") << int(FaultProxy::Fault::Delay) << 0 << "" << 1002
                                  << "sglhttptimeout";
        QTest::newRow("connection cut")
            << int(FaultProxy::Fault::Cut) << 0 << "" << 1001 << "sglHttpConnectError";
    }
    void eachFailedRequestIsAnsweredOnce()
    {
        QFETCH(int, fault);
        QFETCH(int, status);
        QFETCH(QString, token);
        QFETCH(int, code);
        QFETCH(QString, extraSignal);
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        cloud.manager.setRequestTimeout(1500);
        if (!token.isEmpty())
            cloud.manager.setSession(cloud.proxy.url(), token, QJsonObject());
        if (fault >= 0)
            cloud.proxy.addRule({FaultProxy::Fault(fault), "POST", kCreate.toUtf8(), 0, 3000,
                                 status, "{not json", 1});
        QSignalSpy finished(cloud.http(), &YRHttpRequest::sglHttpRequestFinish);
        QSignalSpy failed(cloud.http(), &YRHttpRequest::sglHttpRequestError);
        QSignalSpy timeouts(cloud.http(), &YRHttpRequest::sglhttptimeout);
        QSignalSpy connectErrors(cloud.http(), &YRHttpRequest::sglHttpConnectError);
        // "another user's plan": p_author names someone else.
        const QString author = QTest::currentDataTag() == QByteArray("another user's plan")
                                   ? QStringLiteral("99999")
                                   : cloud.uid;
        cloud.http()->sendRequest(planRecord(author, "t"), kCreate, "", 0);
        QVERIFY(failed.wait(kWaitMs));
        QTest::qWait(100);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(failed.first().at(0).toString(), kCreate);
        QCOMPARE(failed.first().at(1).toInt(), code);
        QCOMPARE(timeouts.size(), extraSignal == "sglhttptimeout" ? 1 : 0);
        QCOMPARE(connectErrors.size(), extraSignal == "sglHttpConnectError" ? 1 : 0);
    }

    void withoutSessionEverythingIsAnswered()
    {
        YRHttpNetWorkManager manager;
        auto *http = qobject_cast<YRHttpRequest *>(manager.getHttpObject());
        auto *transfer = qobject_cast<YRFileTransfer *>(manager.getTransferObject());
        auto *check = qobject_cast<YRNetWorkCheck *>(manager.getNetWorkObject());
        QSignalSpy failed(http, &YRHttpRequest::sglHttpRequestError);
        QSignalSpy checked(check, &YRNetWorkCheck::sglResultNetWorkCheck);
        QSignalSpy downloaded(transfer, &YRFileTransfer::signalDownloadFinished);
        QSignalSpy uploaded(transfer, &YRFileTransfer::signalUploadFinished);
        const QJsonObject record{{"dest", "/tmp/x"}, {"url", "http://127.0.0.1:9/x"}};
        QVERIFY(!http->sendQueryRequest({}, kList, "", 0));
        check->checkNetWork("m");
        QVERIFY(!transfer->downloadFile(record));
        QVERIFY(!transfer->uploadFile(record));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, kWaitMs);
        QCOMPARE(failed.first().at(1).toInt(), int(YRNE_NotSignedIn));
        QTRY_COMPARE_WITH_TIMEOUT(checked.size(), 1, kWaitMs);
        QCOMPARE(checked.first(), (QList<QVariant>{false, "m"}));
        QTRY_COMPARE_WITH_TIMEOUT(downloaded.size(), 1, kWaitMs);
        QCOMPARE(downloaded.first(), (QList<QVariant>{false, record}));
        QTRY_COMPARE_WITH_TIMEOUT(uploaded.size(), 1, kWaitMs);
        QCOMPARE(uploaded.first().at(0).toInt(), int(YRNE_NotSignedIn));
        QCOMPARE(transfer->getSign("vexores"), QString());
    }

    void theNetworkStateFollowsTheService()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        cloud.check()->setWatchInterval(200);
        QSignalSpy states(cloud.check(), &YRNetWorkCheck::sglNetWorkState);
        QSignalSpy checks(cloud.check(), &YRNetWorkCheck::sglResultNetWorkCheck);
        QSignalSpy failed(cloud.http(), &YRHttpRequest::sglHttpRequestError);

        QVERIFY(cloud.stopCloud());
        cloud.http()->sendQueryRequest({}, kList, "", 0);
        QVERIFY(failed.wait(kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(states.size(), 1, kWaitMs);
        QCOMPARE(states.first().at(0).toBool(), false);
        cloud.check()->checkNetWork("m");
        QVERIFY(checks.wait(kWaitMs));
        QCOMPARE(checks.first(), (QList<QVariant>{false, "m"}));

        QVERIFY(cloud.startCloud());
        QTRY_COMPARE_WITH_TIMEOUT(states.size(), 2, kWaitMs);
        QCOMPARE(states.last().at(0).toBool(), true);
        cloud.check()->checkNetWork("m");
        QTRY_COMPARE_WITH_TIMEOUT(checks.size(), 2, kWaitMs);
        QCOMPARE(checks.last(), (QList<QVariant>{true, "m"}));
    }
};

QTEST_GUILESS_MAIN(TestNetRequests)
#include "tst_netrequests.moc"
