#include "demoplan.h"

#include "studiowindow.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPainter>
#include <QSaveFile>

namespace {

struct DemoStep
{
    QString id;
    QStringList taskIds;
};

// The steps of a plan document by their type name, each with its task ids.
QMap<QString, DemoStep> stepsByType(const QString &documentText)
{
    QMap<QString, DemoStep> steps;
    const QJsonArray array = QJsonDocument::fromJson(documentText.toUtf8())
                                 .object()
                                 .value(QStringLiteral("steps"))
                                 .toArray();
    for (const QJsonValue &value : array) {
        const QJsonObject step = value.toObject();
        const QJsonObject attr = step.value(QStringLiteral("attr")).toObject();
        DemoStep &entry = steps[attr.value(QStringLiteral("stepType")).toString()];
        entry.id = attr.value(QStringLiteral("stepId")).toString();
        for (const QJsonValue &task : step.value(QStringLiteral("tasks")).toArray())
            entry.taskIds << task.toObject().value(QStringLiteral("taskId")).toString();
    }
    return steps;
}

// A round cake cut into parts, the first shaded parts of it coloured: a picture of a fraction,
// saved as folder/name.png.
QString drawFraction(const QString &folder, const QString &name, int shaded, int parts,
                     const QColor &colour)
{
    QImage image(480, 360, QImage::Format_RGB32);
    image.fill(QColor(0xfd, 0xf6, 0xe3));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF cake(120, 60, 240, 240);
    for (int part = 0; part < parts; ++part) {
        painter.setBrush(part < shaded ? colour : QColor(0xee, 0xe4, 0xc8));
        painter.setPen(QPen(QColor(0x6b, 0x4f, 0x2a), 4));
        painter.drawPie(cake, 90 * 16 - part * 5760 / parts, -5760 / parts);
    }
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    image.save(path, "PNG");
    return path;
}

QString nodeJson(const QString &kind, const QJsonObject &content)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("nodeType"), kind},
                                                       {QStringLiteral("nodeContent"), content}})
                                 .toJson(QJsonDocument::Compact));
}

} // namespace

bool buildDemoPlan(StudioWindow &window, const QString &pictureFolder)
{
    YRTeachingPlanOperate *controller = window.controller();
    if (!controller->createTeachingPlan())
        return false;
    controller->renameTeachingPlan(QString::number(controller->getId()),
                                   QStringLiteral("分数的初步认识"), QString(),
                                   QStringLiteral("1"));
    controller->addStepOrTask(QString(), QStringLiteral("分蛋糕"), QStringLiteral("情景导入"));
    controller->addStepOrTask(QString(), QStringLiteral("动手折一折"), QStringLiteral("分组探究"));
    controller->addStepOrTask(QString(), QStringLiteral("小测验"), QStringLiteral("随堂测试"));
    QMap<QString, DemoStep> steps = stepsByType(window.planData()->getJson());
    const DemoStep explanation = steps.value(QStringLiteral("内容精讲"));
    const DemoStep scene = steps.value(QStringLiteral("情景导入"));
    controller->renameStepOrTask(explanation.id, QStringLiteral("-1"),
                                 QStringLiteral("认识几分之一"), QString());
    controller->orderStepOrTask(scene.id, explanation.id, QString(), 2);
    const DemoStep inquiry = steps.value(QStringLiteral("分组探究"));
    controller->renameStepOrTask(inquiry.id, inquiry.taskIds.value(0),
                                 QStringLiteral("任务单一：折出二分之一"),
                                 QStringLiteral("用圆形纸片折出一半，涂上颜色"));
    controller->addStepOrTask(inquiry.id, QStringLiteral("任务单二：折出四分之一"), QString());
    steps = stepsByType(window.planData()->getJson());
    const QString secondTask = steps.value(QStringLiteral("分组探究")).taskIds.value(1);

    controller->appendNode(
        explanation.id, QString(),
        nodeJson(QStringLiteral("ebook"),
                 {{QStringLiteral("pageName"), QStringLiteral("教材第 92 页")},
                  {QStringLiteral("bookId"), 12},
                  {QStringLiteral("page"), 92},
                  {QStringLiteral("cloudPath"), QStringLiteral("books/12/p92.j")}}));
    controller->appendNode(
        explanation.id, QString(),
        nodeJson(QStringLiteral("subjectApp"),
                 {{QStringLiteral("appName"), QStringLiteral("分数墙")},
                  {QStringLiteral("appBundleId"), QStringLiteral("com.orvane.fractionwall")}}));
    const QString test = steps.value(QStringLiteral("随堂测试")).id;
    // The question's content, as the plan service would have stored it: a plan made here has
    // it without a network.
    QDir().mkpath(window.planData()->getTeachingPlanDir() + QLatin1Char('/') + test);
    QSaveFile question(window.planData()->getTeachingPlanDir() + QLatin1Char('/') + test +
                       QStringLiteral("/choice_4021.json"));
    if (question.open(QIODevice::WriteOnly)) {
        question.write(QJsonDocument(QJsonObject{{QStringLiteral("stem"),
                                                  QStringLiteral("1/2 和 1/4 哪个大？")}})
                           .toJson());
        question.commit();
    }
    controller->appendNode(test, QString(),
                           nodeJson(QStringLiteral("question"),
                                    {{QStringLiteral("chName"), QStringLiteral("比较 1/2 和 1/4")},
                                     {QStringLiteral("questionId"), QStringLiteral("4021")},
                                     {QStringLiteral("questionType"), QStringLiteral("choice")}}));
    controller->appendNode(
        test, QString(),
        nodeJson(QStringLiteral("paper"),
                 {{QStringLiteral("paperName"), QStringLiteral("分数单元练习卷")},
                  {QStringLiteral("paperId"), QStringLiteral("p-77")}}));
    controller->setIntrospection(
        QStringLiteral("学生能用折纸说明几分之一；比较大小时还需多举例。"));

    QDir().mkpath(pictureFolder);
    const QString folder = pictureFolder;
    window.addFiles(
        {drawFraction(folder, QStringLiteral("半块蛋糕"), 1, 2, QColor(0xf0, 0x8c, 0x00)),
         drawFraction(folder, QStringLiteral("四分之三"), 3, 4, QColor(0x5c, 0x7c, 0xfa))},
        scene.id, QString());
    window.addFiles(
        {drawFraction(folder, QStringLiteral("折出二分之一"), 1, 2, QColor(0x2b, 0x8a, 0x3e))},
        inquiry.id, inquiry.taskIds.value(0));
    window.addFiles(
        {drawFraction(folder, QStringLiteral("折出四分之一"), 1, 4, QColor(0xc2, 0x25, 0x5c))},
        inquiry.id, secondTask);
    return true;
}
