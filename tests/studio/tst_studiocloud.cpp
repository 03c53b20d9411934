// The studio signed in to a real yrcloud on a loopback port: a plan made in the page is saved to
// the cloud, listed by the plan service and opened again from that list, files included.

#include "cloudplans.h"
#include "localfilecopier.h"
#include "studiofixture.h"
#include "studiosetup.h"
#include "yrcloudprocess.h"

#include <QApplication>
#include <QImage>

namespace {

// Waits in the cloud-plan dialog for the list, then opens the plan titled title.
ModalAnswerer::Answer openListed(const QString &title)
{
    return [title](QWidget *widget) {
        auto *dialog = qobject_cast<CloudPlanDialog *>(widget);
        QVERIFY2(dialog, "expected the cloud plans");
        QVERIFY(QTest::qWaitFor([dialog] { return dialog->isListed(); }, 20000));
        QVERIFY(dialog->selectTitle(title));
        dialog->accept();
    };
}

} // namespace

class tst_StudioCloud : public QObject
{
    Q_OBJECT

private slots:
    void savesToCloudAndOpensFromItsList();
};

void tst_StudioCloud::savesToCloudAndOpensFromItsList()
{
    YRCloudProcess cloud;
    QVERIFY2(cloud.start(), qPrintable(cloud.errorString()));
    const YRCloudProcess::User teacher = cloud.addUser(QStringLiteral("teacher"));
    QVERIFY(!teacher.token.isEmpty());

    StudioFixture f;
    QSignalSpy signedIn(f.window.get(), &StudioWindow::signInFinished);
    f.window->signIn(cloud.url(), teacher.token);
    QTRY_COMPARE(signedIn.count(), 1);
    QVERIFY(signedIn.at(0).at(0).toBool());

    f.window->newPlan();
    QTRY_COMPARE(f.pageTree().value(QStringLiteral("steps")).toArray().size(), 1);
    f.type(QStringLiteral("#plan-name"), QStringLiteral("云端的分数课"));
    f.type(QStringLiteral("#steps > li:nth-child(1) .step-name"), QStringLiteral("折纸"));
    QTemporaryDir files;
    const QString picture = files.path() + QStringLiteral("/折纸.png");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    QVERIFY(image.save(picture, "PNG"));
    f.answers.chooseFile(picture);
    f.click(QStringLiteral("#steps > li:nth-child(1) [data-action=add-files]"));
    QTRY_VERIFY(!f.window->copier()->isBusy());
    QTRY_COMPARE(f.pageTree(), f.documentTree());

    // The save goes up (document, then the plan record) and the page hears of it.
    f.window->savePlan();
    QTRY_COMPARE_WITH_TIMEOUT(
        f.js(QStringLiteral("document.getElementById('save-status').textContent")).toString(),
        QStringLiteral("Saved"), 30000);
    QVERIFY(f.window->controller()->getId() > 0);
    const QJsonObject saved = f.documentTree();

    f.window->closePlanThen([] {});
    QVERIFY(!f.window->hasOpenPlan());
    f.states->clear();
    f.answers.enqueue(openListed(QStringLiteral("云端的分数课")));
    f.window->chooseCloudPlanToOpen();
    QTRY_VERIFY_WITH_TIMEOUT(f.hasState(TPOS_Success_Open), 30000);
    QTRY_COMPARE(f.pageTree(), f.documentTree());
    QCOMPARE(f.documentTree(), saved);
    // The picture came down from the store into the new working directory, and shows.
    const QString stepId = saved.value(QStringLiteral("steps"))
                               .toArray()
                               .at(0)
                               .toObject()
                               .value(QStringLiteral("id"))
                               .toString();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(f.window->planData()->getTeachingPlanDir() +
                                       QLatin1Char('/') + stepId + QStringLiteral("/折纸.png"))
                                 .isFile(),
                             30000);
    QTRY_VERIFY(
        f.js(QStringLiteral("const img = document.querySelector('.node.has-thumb img');"
                            "return img !== null && img.complete && img.naturalWidth === 40;"),
             {})
            .toBool());
}

int main(int argc, char *argv[])
{
    prepareStudioEngine();
    QApplication app(argc, argv);
    tst_StudioCloud test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_studiocloud.moc"
