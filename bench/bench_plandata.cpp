// Loading and editing a large plan, against the framework's bare JSON reader and writer.
//
// A generated plan of 200 steps x 100 file nodes (about 17 MB of document text):
//   load: YRPlanData::setJson vs QJsonDocument::fromJson + toJson(Indented) of the same text;
//   edit: one renameStepOrTask vs a bare toJson(Indented) of the plan's document.
// Each figure is the median of several runs; the ratios are printed in one run.

#include "plandata/yrplandata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

QString generatedPlan(int stepCount, int nodesPerStep, bool withThumbnails)
{
    QJsonArray steps;
    for (int s = 0; s < stepCount; ++s) {
        QJsonArray nodes;
        const QString stepId =
            QStringLiteral("step-%1-0000-4000-8000-000000000000").arg(s, 4, 10, QLatin1Char('0'));
        for (int n = 0; n < nodesPerStep; ++n) {
            const QString name = QStringLiteral("课件-第%1单元-第%2节.docx").arg(s).arg(n);
            const QString cloud = QStringLiteral("res/2024/05/07/t42/%1/%2/").arg(s).arg(n);
            QJsonObject content{
                {QStringLiteral("cloudPath"), cloud + name},
                {QStringLiteral("fileCloudSource"), QStringLiteral("resource")},
                {QStringLiteral("fileMD5"), QStringLiteral("0123456789abcdef0123456789abcdef")},
                {QStringLiteral("fileName"), name},
                {QStringLiteral("fileSize"), QString::number(100000 + n)},
                {QStringLiteral("fileType"), QStringLiteral("docx")},
                {QStringLiteral("isTranslate"), 0},
                {QStringLiteral("localPath"), QLatin1Char('/') + stepId + QLatin1Char('/') + name}};
            if (withThumbnails) {
                content.insert(QStringLiteral("cloudThumb"),
                               cloud + QStringLiteral("thumb-") + name + QStringLiteral(".png"));
                content.insert(QStringLiteral("localThumb"),
                               QLatin1Char('/') + stepId + QLatin1Char('/') + name +
                                   QStringLiteral(".thumb/thumb.png"));
            }
            nodes.append(QJsonObject{
                {QStringLiteral("nodeId"), QStringLiteral("node-%1-%2-4000-8000-000000000000")
                                               .arg(s, 4, 10, QLatin1Char('0'))
                                               .arg(n, 4, 10, QLatin1Char('0'))},
                {QStringLiteral("nodeType"), QStringLiteral("file")},
                {QStringLiteral("nodeOrder"), n},
                {QStringLiteral("nodeContent"), content}});
        }
        steps.append(
            QJsonObject{{QStringLiteral("attr"),
                         QJsonObject{{QStringLiteral("stepId"), stepId},
                                     {QStringLiteral("stepName"), QStringLiteral("环节%1").arg(s)},
                                     {QStringLiteral("stepOrder"), s},
                                     {QStringLiteral("stepType"), QStringLiteral("内容精讲")}}},
                        {QStringLiteral("nodes"), nodes}});
    }
    const QJsonObject description{{QStringLiteral("GUID"), QStringLiteral("bench")},
                                  {QStringLiteral("documentVersion"), QStringLiteral("5.0")},
                                  {QStringLiteral("name"), QStringLiteral("bench")},
                                  {QStringLiteral("createTime"), 1700000000},
                                  {QStringLiteral("updateTime"), 1700000000}};
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("description"), description},
                                                       {QStringLiteral("steps"), steps}})
                                 .toJson(QJsonDocument::Indented));
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(timeMs(work));
    return median(times);
}

// The two sides alternate, so that a busy moment of the machine hits both alike.
double measureLoad(const QString &text, int runs, const char *label)
{
    std::vector<double> bareTimes;
    std::vector<double> loadTimes;
    for (int i = 0; i < runs; ++i) {
        bareTimes.push_back(timeMs([&text] {
            const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
            const QByteArray written = document.toJson(QJsonDocument::Indented);
            Q_UNUSED(written);
        }));
        // Only the load is timed: the model is made before and destroyed after.
        YRPlanData model;
        model.setTeachingPlanDir(QStringLiteral("/tmp/yrdata-bench/plan"));
        loadTimes.push_back(timeMs([&text, &model] {
            if (!model.setJson(text))
                std::printf("setJson failed\n");
        }));
    }
    const double bare = median(bareTimes);
    const double load = median(loadTimes);
    std::printf("%s: setJson %.1f ms, bare fromJson+toJson %.1f ms, ratio %.2fx\n", label, load,
                bare, load / bare);
    return load / bare;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("yrdata.*.debug=false"));
    const int runs = 9;
    const QString text = generatedPlan(200, 100, false);
    if (argc > 1) { // write the generated document for profiling
        QFile out(QString::fromLocal8Bit(argv[1]));
        if (out.open(QIODevice::WriteOnly))
            out.write(text.toUtf8());
    }
    std::printf("plan: 200 steps x 100 file nodes, %.1f MB of document text\n",
                text.toUtf8().size() / 1e6);
    const double loadRatio = measureLoad(text, runs, "load");
    std::printf("load ratio %.2fx (goal <= 1.8x)\n", loadRatio);

    YRPlanData data;
    data.setTeachingPlanDir(QStringLiteral("/tmp/yrdata-bench/plan"));
    data.setJson(text);
    const QJsonDocument document = QJsonDocument::fromJson(data.getJson().toUtf8());
    const double bareWrite = medianMs(runs, [&document] {
        const QByteArray written = document.toJson(QJsonDocument::Indented);
        Q_UNUSED(written);
    });
    int round = 0;
    const QString stepId = QStringLiteral("step-0100-0000-4000-8000-000000000000");
    const double edit = medianMs(runs, [&data, &round, &stepId] {
        data.renameStepOrTask(stepId, QString(), QStringLiteral("环节-%1").arg(++round), QString());
    });
    if (!data.getJson().contains(QStringLiteral("环节-%1").arg(round)))
        std::printf("rename did not reach the document\n");
    std::printf(
        "edit: renameStepOrTask %.1f ms, bare toJson %.1f ms, ratio %.2fx (goal <= 1.25x)\n", edit,
        bareWrite, edit / bareWrite);

    // Every node with a thumbnail doubles the transfer records that a load makes.
    const QString thumbnails = generatedPlan(200, 100, true);
    std::printf("with a thumbnail on every node (%.1f MB):\n", thumbnails.toUtf8().size() / 1e6);
    measureLoad(thumbnails, runs, "  load");
    return 0;
}
