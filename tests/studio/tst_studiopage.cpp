// The studio window and its editor page in the real browser engine, driven as a teacher drives
// them: through the page's own buttons and fields, which reach the plan controller through the
// web channel, and the window's dialogs.

#include "demoplan.h"
#include "documentchange.h"
#include "localfilecopier.h"
#include "studiofixture.h"
#include "studiosetup.h"

#include <JlCompress.h>
#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QMessageBox>
#include <QTranslator>

namespace {

const QString kStep1 = QStringLiteral("#steps > li:nth-child(1)");
const QString kStep2 = QStringLiteral("#steps > li:nth-child(2)");

QString writePicture(const QString &folder, const QString &name)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = folder + QLatin1Char('/') + name;
    image.save(path, "PNG");
    return path;
}

int stepCount(const QJsonObject &tree)
{
    return tree.value(QStringLiteral("steps")).toArray().size();
}

QJsonObject stepOf(const QJsonObject &tree, int index)
{
    return tree.value(QStringLiteral("steps")).toArray().at(index).toObject();
}

// The document without what each copy of a plan has of its own: its GUID and times, and the
// task ids that every load renews.
QJsonObject comparable(const QString &documentText)
{
    QJsonObject document = QJsonDocument::fromJson(documentText.toUtf8()).object();
    QJsonObject description = document.value(QStringLiteral("description")).toObject();
    for (const char *key : {"GUID", "createTime", "updateTime"})
        description.remove(QLatin1String(key));
    document.insert(QStringLiteral("description"), description);
    QJsonArray steps;
    for (const QJsonValue &stepValue : document.value(QStringLiteral("steps")).toArray()) {
        QJsonObject step = stepValue.toObject();
        QJsonArray tasks;
        for (const QJsonValue &task : step.value(QStringLiteral("tasks")).toArray()) {
            QJsonObject withoutId = task.toObject();
            withoutId.remove(QStringLiteral("taskId"));
            tasks.append(withoutId);
        }
        if (step.contains(QStringLiteral("tasks")))
            step.insert(QStringLiteral("tasks"), tasks);
        steps.append(step);
    }
    document.insert(QStringLiteral("steps"), steps);
    return document;
}

// Adds a node of kind through the page's web-node dialog of the container at selector.
void addWebNode(const StudioFixture &f, const QString &selector, const QString &kind,
                const QString &name, const QString &id)
{
    f.click(selector + QStringLiteral(" [data-action=add-web-node]"));
    f.js(QStringLiteral("const kind = document.getElementById('web-node-kind'); kind.value = v[0];"
                        "kind.dispatchEvent(new Event('change', {bubbles: true}));"
                        "document.getElementById('web-node-name').value = v[1];"
                        "document.getElementById('web-node-id').value = v[2];"
                        "document.getElementById('web-node-extra').value = '3';"
                        "document.querySelector('#web-node-form button[value=add]').click();"),
         {kind, name, id});
}

// What the page shows, to the markup: the tree, the fields' values and every element.
QString pageSnapshot(const StudioFixture &f)
{
    const QString markup =
        f.js(QStringLiteral("document.getElementById('plan').outerHTML")).toString();
    return QString::fromUtf8(QJsonDocument(f.pageTree()).toJson()) + markup;
}

QString idOf(const QJsonObject &tree, int step, int task = -1, int node = -1)
{
    QJsonObject object = stepOf(tree, step);
    if (task >= 0)
        object = object.value(QStringLiteral("tasks")).toArray().at(task).toObject();
    if (node >= 0)
        object = object.value(QStringLiteral("nodes")).toArray().at(node).toObject();
    return object.value(QStringLiteral("id")).toString();
}

QString paperJson(const QString &name)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("nodeType"), QStringLiteral("paper")},
                                  {QStringLiteral("nodeContent"),
                                   QJsonObject{{QStringLiteral("paperName"), name},
                                               {QStringLiteral("paperId"), name}}}})
            .toJson(QJsonDocument::Compact));
}

// Runs one edit of the page's bridge by its name on the plan that tree shows: three plain
// steps of two papers each, then a group-inquiry step of two task sheets, to begin with.
void applyEdit(PageBridge *bridge, const QJsonObject &tree, const QString &edit,
               const QString &text)
{
    const int group = stepCount(tree) - 1;
    const QString parent = QStringLiteral("{\"stepId\":\"%1\",\"taskId\":\"-1\"}");
    if (edit == QLatin1String("rename step"))
        bridge->renameStepOrTask(idOf(tree, 1), QStringLiteral("-1"), text, QString());
    else if (edit == QLatin1String("rename task"))
        bridge->renameStepOrTask(idOf(tree, group), idOf(tree, group, 1), text, text);
    else if (edit == QLatin1String("rename plan"))
        bridge->renamePlan(text);
    else if (edit == QLatin1String("introspection"))
        bridge->setIntrospection(text);
    else if (edit == QLatin1String("move step"))
        bridge->orderStepOrTask(idOf(tree, 2), idOf(tree, 1), QStringLiteral("{}"), 2);
    else if (edit == QLatin1String("move node"))
        bridge->orderStepOrTask(idOf(tree, 1, -1, 1), idOf(tree, 1, -1, 0),
                                parent.arg(idOf(tree, 1)), 1);
    else if (edit == QLatin1String("add step"))
        bridge->addStepOrTask(QString(), text, QStringLiteral("内容精讲"));
    else if (edit == QLatin1String("add task"))
        bridge->addStepOrTask(idOf(tree, group), text, QString());
    else if (edit == QLatin1String("add node"))
        bridge->appendNode(idOf(tree, group), idOf(tree, group, 0), paperJson(text));
    else if (edit == QLatin1String("delete node"))
        bridge->deleteStepOrTask(idOf(tree, 1, -1, 0), 1);
    else if (edit == QLatin1String("delete task"))
        bridge->deleteStepOrTask(idOf(tree, group, 0), 2);
    else if (edit == QLatin1String("delete step"))
        bridge->deleteStepOrTask(idOf(tree, 0), 3);
    else
        QFAIL(qPrintable(QStringLiteral("no edit named ") + edit));
}

} // namespace

class tst_StudioPage : public QObject
{
    Q_OBJECT

private slots:
    void teacherBuildsPlanInPage();
    void savedPackageReopensUnchanged();
    void hostileTextRoundTripsUnchanged_data();
    void hostileTextRoundTripsUnchanged();
    void editsShowAsWholeDocumentWould_data();
    void editsShowAsWholeDocumentWould();
    void pageThatCannotTakeChangeGetsWholeDocument();
    void transferProgressShowsOnItsNode();
    void closingUnsavedPlanAsks_data();
    void closingUnsavedPlanAsks();
    void demoPlanScreenshotShowsContent();
    void chineseLocaleTranslatesWindowAndPage();
};

void tst_StudioPage::teacherBuildsPlanInPage()
{
    StudioFixture f;
    f.window->newPlan();
    QTRY_COMPARE(stepCount(f.pageTree()), 1);

    // A group-inquiry step from the add-step form: it comes with its first task sheet.
    f.js(QStringLiteral("document.getElementById('new-step-type').value = v[0]"),
         {QStringLiteral("分组探究")});
    f.type(QStringLiteral("#new-step-name"), QStringLiteral("小组合作"));
    f.click(QStringLiteral("[data-action=add-step]"));
    QTRY_COMPARE(stepCount(f.pageTree()), 2);
    f.click(kStep2 + QStringLiteral(" [data-action=add-task]"));
    QTRY_COMPARE(stepOf(f.pageTree(), 1).value(QStringLiteral("tasks")).toArray().size(), 2);

    f.type(kStep1 + QStringLiteral(" .step-name"), QStringLiteral("认识分数"));
    f.type(kStep2 + QStringLiteral(" .task:nth-child(2) .task-desc"),
           QStringLiteral("两人一组\n互相检查"));
    f.type(kStep2 + QStringLiteral(" .task:nth-child(2) .task-name"), QStringLiteral("任务二"));

    QTemporaryDir files;
    f.answers.chooseFile(writePicture(files.path(), QStringLiteral("cake.png")));
    f.click(kStep1 + QStringLiteral(" [data-action=add-files]"));
    QTRY_COMPARE(stepOf(f.pageTree(), 0).value(QStringLiteral("nodes")).toArray().size(), 1);
    QTRY_VERIFY(!f.window->copier()->isBusy());
    addWebNode(f, kStep2 + QStringLiteral(" .task:nth-child(1)"), QStringLiteral("paper"),
               QStringLiteral("练习卷"), QStringLiteral("p-9"));

    // The group-inquiry step moves up; the second task sheet goes (a delete asks twice).
    f.click(kStep2 + QStringLiteral(" [data-action=step-up]"));
    QTRY_COMPARE(stepOf(f.pageTree(), 0).value(QStringLiteral("type")).toString(),
                 QStringLiteral("分组探究"));
    const QString deleteTask =
        kStep1 + QStringLiteral(" .task:nth-child(2) [data-action=delete-task]");
    f.click(deleteTask);
    f.click(deleteTask);

    QTRY_COMPARE(f.pageTree(), f.documentTree());
    const QJsonObject tree = f.documentTree();
    const QJsonArray tasks = stepOf(tree, 0).value(QStringLiteral("tasks")).toArray();
    QCOMPARE(tasks.size(), 1);
    QCOMPARE(tasks.at(0)
                 .toObject()
                 .value(QStringLiteral("nodes"))
                 .toArray()
                 .at(0)
                 .toObject()
                 .value(QStringLiteral("name"))
                 .toString(),
             QStringLiteral("练习卷"));
    QCOMPARE(stepOf(tree, 1).value(QStringLiteral("name")).toString(), QStringLiteral("认识分数"));
    const QJsonObject file =
        stepOf(tree, 1).value(QStringLiteral("nodes")).toArray().at(0).toObject();
    QCOMPARE(file.value(QStringLiteral("name")).toString(), QStringLiteral("cake.png"));
    // The copy is in the step's folder, and the page shows it as the node's picture.
    const QString stepId = stepOf(tree, 1).value(QStringLiteral("id")).toString();
    QVERIFY(QFileInfo(f.window->planData()->getTeachingPlanDir() + QLatin1Char('/') + stepId +
                      QStringLiteral("/cake.png"))
                .isFile());
    QTRY_VERIFY(f.js(QStringLiteral("const img = document.querySelector(v[0]);"
                                    "return img.complete && img.naturalWidth === 64;"),
                     {QStringLiteral("#steps > li:nth-child(2) .node.has-thumb img")})
                    .toBool());
}

void tst_StudioPage::savedPackageReopensUnchanged()
{
    StudioFixture f;
    QTemporaryDir packages;
    f.window->newPlan();
    QTRY_COMPARE(stepCount(f.pageTree()), 1);
    f.type(QStringLiteral("#plan-name"), QStringLiteral("分数复习"));
    f.type(QStringLiteral("#introspection"), QStringLiteral("下次多留练习时间"));
    addWebNode(f, kStep1, QStringLiteral("question"), QStringLiteral("比大小"),
               QStringLiteral("q-7"));
    // A file of several slices, saved for while it is still being copied.
    QFile video(packages.path() + QStringLiteral("/lesson.mp4"));
    QVERIFY(video.open(QIODevice::WriteOnly));
    QVERIFY(video.write(QByteArray(5 * 1024 * 1024 + 17, 'v')) > 0);
    video.close();
    const QString stepId = stepOf(f.documentTree(), 0).value(QStringLiteral("id")).toString();
    f.window->addFiles({video.fileName()}, stepId, QString());
    QVERIFY(f.window->copier()->isBusy());

    // The first save asks where the package goes (it proposes the plan's name, which the
    // package keeps); it waits for the copy, and the page hears that the plan was saved.
    const QString package = packages.path() + QStringLiteral("/分数复习.yrtp");
    f.answers.chooseFile(package);
    f.window->savePlan();
    QTRY_COMPARE(
        f.js(QStringLiteral("document.getElementById('save-status').textContent")).toString(),
        QStringLiteral("Saved"));
    QCOMPARE(f.pageTree(), f.documentTree());
    QStringList packed = JlCompress::getFileList(package);
    QStringList expected = {QStringLiteral("teachpkg.json"),
                            QStringLiteral("teachpkg.json.notsave"),
                            stepId + QStringLiteral("/lesson.mp4")};
    packed.sort();
    expected.sort();
    QCOMPARE(packed, expected);
    QVERIFY(!f.window->isWindowModified());
    const QJsonObject saved = comparable(f.window->planData()->getJson());

    f.window->closePlanThen([] {});
    QTRY_COMPARE(f.js(QStringLiteral("document.getElementById('plan').hidden")).toBool(), true);
    f.window->openPackage(package);
    QTRY_VERIFY(f.hasState(TPOS_Success_Open));
    QTRY_COMPARE(stepCount(f.pageTree()), 1);
    QCOMPARE(f.pageTree(), f.documentTree());
    QCOMPARE(comparable(f.window->planData()->getJson()), saved);
}

void tst_StudioPage::hostileTextRoundTripsUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("quotes") << QStringLiteral("\"双\" 'single' `back` ‘curly’");
    QTest::newRow("backslashes") << QStringLiteral("C:\\plans\\u0041\\n\\\\end\\");
    QTest::newRow("script end") << QStringLiteral("</script><script>window.hacked=1</script>");
    QTest::newRow("markup") << QStringLiteral(
        "<img src=x onerror=\"window.hacked=1\"><b>粗</b>&amp;");
    QTest::newRow("line separators") << QStringLiteral("a\u2028b\u2029c");
    QTest::newRow("scripts") << QStringLiteral("עברית العربية हिन्दी 日本語 Ελληνικά 😀");
    QTest::newRow("place markers") << QStringLiteral("%1 %2 $& $1 ${v} {{x}}");
}

void tst_StudioPage::hostileTextRoundTripsUnchanged()
{
    QFETCH(QString, text);
    StudioFixture f;
    f.window->newPlan();
    QTRY_COMPARE(stepCount(f.pageTree()), 1);
    f.js(QStringLiteral("document.getElementById('new-step-type').value = v[0]"),
         {QStringLiteral("分组探究")});
    f.type(QStringLiteral("#new-step-name"), text);
    f.click(QStringLiteral("[data-action=add-step]"));
    QTRY_COMPARE(stepCount(f.pageTree()), 2);
    f.type(QStringLiteral("#plan-name"), text);
    f.type(kStep1 + QStringLiteral(" .step-name"), text);
    f.type(kStep2 + QStringLiteral(" .task-name"), text);
    f.type(kStep2 + QStringLiteral(" .task-desc"), text);
    f.type(QStringLiteral("#introspection"), text);
    addWebNode(f, kStep1, QStringLiteral("paper"), text, text);
    // A question's id names its content file, so it stays plain.
    addWebNode(f, kStep2 + QStringLiteral(" .task"), QStringLiteral("question"), text,
               QStringLiteral("q-1"));

    QTRY_COMPARE(f.pageTree(), f.documentTree());
    const QJsonObject tree = f.documentTree();
    QCOMPARE(tree.value(QStringLiteral("name")).toString(), text);
    QCOMPARE(tree.value(QStringLiteral("introspection")).toString(), text);
    QCOMPARE(stepOf(tree, 0).value(QStringLiteral("name")).toString(), text);
    QCOMPARE(stepOf(tree, 1).value(QStringLiteral("name")).toString(), text);
    const QJsonObject task =
        stepOf(tree, 1).value(QStringLiteral("tasks")).toArray().at(0).toObject();
    QCOMPARE(task.value(QStringLiteral("name")).toString(), text);
    QCOMPARE(task.value(QStringLiteral("desc")).toString(), text);
    QCOMPARE(task.value(QStringLiteral("nodes"))
                 .toArray()
                 .at(0)
                 .toObject()
                 .value(QStringLiteral("name"))
                 .toString(),
             text);
    // Nothing the text holds ran or became an element.
    QCOMPARE(f.js(QStringLiteral("typeof window.hacked")).toString(), QStringLiteral("undefined"));
    QCOMPARE(f.js(QStringLiteral("document.querySelectorAll('#plan b, #plan script, #plan img')"
                                 ".length - document.querySelectorAll('#plan .thumb img').length"))
                 .toInt(),
             0);
}

void tst_StudioPage::editsShowAsWholeDocumentWould_data()
{
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("text");
    const QStringList names = {QStringLiteral("rename step"), QStringLiteral("rename task"),
                               QStringLiteral("add node"), QStringLiteral("rename plan"),
                               QStringLiteral("introspection")};
    QTest::newRow("quotes") << names << QStringLiteral("\"双\" 'single' `back`");
    QTest::newRow("backslashes") << names << QStringLiteral("C:\\plans\\u0041\\n\\\\end\\");
    QTest::newRow("script end") << names
                                << QStringLiteral("</script><script>window.hacked=1</script>");
    QTest::newRow("line separators") << names << QStringLiteral("a\u2028b\u2029c");
    QTest::newRow("beyond the BMP") << names << QStringLiteral("𠀀𝄞😀 עברית");
    QTest::newRow("structure")
        << QStringList{QStringLiteral("move node"),   QStringLiteral("add node"),
                       QStringLiteral("add task"),    QStringLiteral("move step"),
                       QStringLiteral("delete node"), QStringLiteral("delete task"),
                       QStringLiteral("add step"),    QStringLiteral("delete step")}
        << QStringLiteral("新的");
}

// The host sends the page only the values that an edit changed, where it can: after each edit
// the page must show what the whole document would have shown.
void tst_StudioPage::editsShowAsWholeDocumentWould()
{
    QFETCH(QStringList, edits);
    QFETCH(QString, text);
    StudioFixture f;
    f.window->newPlan();
    QTRY_COMPARE(stepCount(f.pageTree()), 1);
    PageBridge *bridge = f.window->bridge();
    for (int step = 0; step < 2; ++step)
        bridge->addStepOrTask(QString(), QStringLiteral("环节"), QStringLiteral("内容精讲"));
    bridge->addStepOrTask(QString(), QStringLiteral("探究"), QStringLiteral("分组探究"));
    QTRY_COMPARE(stepCount(f.pageTree()), 4);
    QJsonObject tree = f.documentTree();
    bridge->addStepOrTask(idOf(tree, 3), QStringLiteral("任务"), QString());
    for (int step = 0; step < 3; ++step) {
        for (int node = 0; node < 2; ++node)
            bridge->appendNode(idOf(tree, step), QString(),
                               paperJson(QStringLiteral("卷%1").arg(step * 2 + node)));
    }
    QTRY_COMPARE(f.pageTree(), f.documentTree());

    int narrowed = 0;
    for (const QString &edit : edits) {
        const QString before = f.window->planData()->getJson();
        applyEdit(bridge, f.documentTree(), edit, text);
        const QString after = f.window->planData()->getJson();
        QVERIFY2(after != before, qPrintable(edit));
        if (!findDocumentChanges(before, after, after.size() / 4).isEmpty())
            ++narrowed;
        QTRY_COMPARE(f.pageTree(), f.documentTree());
        const QString shown = pageSnapshot(f);
        f.window->view()->runStatement(QStringLiteral("returnJsonToWeb(%1)").arg(after));
        QCOMPARE(pageSnapshot(f), shown);
    }
    // Most edits change one step, the plan's name or its introspection: far less than all.
    QVERIFY(narrowed * 2 >= edits.size());
    QCOMPARE(f.js(QStringLiteral("typeof window.hacked")).toString(), QStringLiteral("undefined"));
}

void tst_StudioPage::pageThatCannotTakeChangeGetsWholeDocument()
{
    StudioFixture f;
    f.window->newPlan();
    QTRY_COMPARE(stepCount(f.pageTree()), 1);
    const QJsonObject tree = f.documentTree();
    f.js(QStringLiteral("replaceInPlan([[['steps', 7, 'attr', 'stepName'], 'x'],"
                        "[['steps', 0, 'attr', 'stepName'], 'y']])"));
    QTRY_COMPARE(f.pageTree(), tree);
    QCOMPARE(stepOf(f.pageTree(), 0).value(QStringLiteral("name")).toString(),
             stepOf(tree, 0).value(QStringLiteral("name")).toString());
}

void tst_StudioPage::transferProgressShowsOnItsNode()
{
    StudioFixture f;
    QTemporaryDir files;
    f.window->newPlan();
    QTRY_COMPARE(stepCount(f.pageTree()), 1);
    const QString stepId = stepOf(f.documentTree(), 0).value(QStringLiteral("id")).toString();
    f.window->addFiles({writePicture(files.path(), QStringLiteral("done.png"))}, stepId, QString());
    QTRY_VERIFY(!f.window->copier()->isBusy());
    // A question whose content is nowhere to be had: without a network it fails at once.
    addWebNode(f, kStep1, QStringLiteral("question"), QStringLiteral("无内容的题"),
               QStringLiteral("404"));

    // A copy under way, as the window's copier reports it.
    const QString copying = f.window->planData()->getTeachingPlanDir() + QLatin1Char('/') + stepId +
                            QStringLiteral("/big.bin");
    YRTeachingPlanOperate *controller = f.window->controller();
    QVERIFY(controller->addLocalFile(copying, 0));
    QVERIFY(controller->addLocalFile(copying, 40));

    const QString state = QStringLiteral(
        "return Array.from(document.querySelectorAll('.node'), (n) => n.querySelector("
        "'.node-name').textContent + ':' + (n.classList.contains('failed') ? 'failed' : '') + ':'"
        " + (n.querySelector('.node-progress').hidden ? '' : n.querySelector('.node-progress')"
        ".value)).join('|');");
    QTRY_COMPARE(f.js(state, {}).toString(),
                 QStringLiteral("done.png::|无内容的题:failed:|big.bin::40"));
    QVERIFY(controller->addLocalFile(copying, -1));
    QTRY_COMPARE(f.js(state, {}).toString(),
                 QStringLiteral("done.png::|无内容的题:failed:|big.bin:failed:"));
}

void tst_StudioPage::closingUnsavedPlanAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("packaged");
    QTest::newRow("cancel keeps the plan") << int(QMessageBox::Cancel) << false << false;
    QTest::newRow("discard closes it") << int(QMessageBox::Discard) << true << false;
    QTest::newRow("save packs, then closes") << int(QMessageBox::Save) << true << true;
}

void tst_StudioPage::closingUnsavedPlanAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(bool, packaged);
    StudioFixture f;
    QTemporaryDir packages;
    const QString package = packages.path() + QStringLiteral("/plan.yrtp");
    f.window->newPlan();
    QTRY_COMPARE(stepCount(f.pageTree()), 1);
    QVERIFY(f.window->isWindowModified());

    f.answers.enqueue([answer](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        QVERIFY2(box, "expected the question about unsaved changes");
        box->button(QMessageBox::StandardButton(answer))->click();
    });
    if (answer == QMessageBox::Save)
        f.answers.chooseFile(package);
    f.window->close();
    QTRY_VERIFY(!f.answers.hasPendingAnswers());
    QTRY_COMPARE(f.window->isVisible(), !closed);
    QCOMPARE(f.window->hasOpenPlan(), !closed);
    QCOMPARE(QFileInfo(package).isFile(), packaged);
}

void tst_StudioPage::demoPlanScreenshotShowsContent()
{
    StudioFixture f;
    QTemporaryDir pictures;
    QVERIFY(buildDemoPlan(*f.window, pictures.path()));
    QTRY_VERIFY_WITH_TIMEOUT(!f.window->copier()->isBusy(), 20000);
    QTRY_COMPARE(f.pageTree(), f.documentTree());
    // Every picture has arrived from the plan folder.
    QTRY_COMPARE(f.js(QStringLiteral("Array.from(document.querySelectorAll('.node.has-thumb img'))"
                                     ".filter((i) => i.complete && i.naturalWidth > 0).length"))
                     .toInt(),
                 4);

    const QImage shot = f.window->grab().toImage();
    const QString path =
        QCoreApplication::applicationDirPath() + QStringLiteral("/yrstudio-screenshot.png");
    QVERIFY(shot.save(path));
    // The page's content is in the picture, not only the frame: the step cards' text and the
    // pictures give the page area many colours.
    const QRect page =
        QRect(f.window->view()->mapTo(f.window.get(), QPoint(0, 0)), f.window->view()->size());
    QSet<QRgb> colours;
    for (int y = page.top(); y < page.bottom(); y += 3) {
        for (int x = page.left(); x < page.right(); x += 3)
            colours.insert(shot.pixel(x, y));
    }
    QVERIFY2(colours.size() > 200, qPrintable(QStringLiteral("%1 colours").arg(colours.size())));
}

void tst_StudioPage::chineseLocaleTranslatesWindowAndPage()
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    installStudioTranslations(*qApp);
    {
        StudioFixture f;
        QCOMPARE(f.window->menuBar()->actions().at(0)->text(), QStringLiteral("文件(&F)"));
        f.window->newPlan();
        QTRY_COMPARE(stepCount(f.pageTree()), 1);
        QCOMPARE(f.js(QStringLiteral(
                          "document.querySelector('[data-action=add-step]').textContent + '|' +"
                          "document.querySelector('.step-type').textContent + '|' +"
                          "document.documentElement.lang"))
                     .toString(),
                 QStringLiteral("添加环节|内容精讲|zh-CN"));
    }
    for (QTranslator *translator : qApp->findChildren<QTranslator *>())
        delete translator;
    QLocale::setDefault(QLocale::c());
}

int main(int argc, char *argv[])
{
    prepareStudioEngine();
    QApplication app(argc, argv);
    tst_StudioPage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_studiopage.moc"
