// Documents of any shape: loading must not crash, leak or hang; queued records stay inside the
// plan directory; a loaded document loads again into the same tree; edits on every record keep
// the tree consistent.

#include "fuzzcheck.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>

namespace {

void compareReload(const YRPlanData &first)
{
    YRPlanData second;
    second.setTeachingPlanDir(FuzzCheck::planDir());
    if (!second.setJson(first.getJson()))
        FuzzCheck::fail("a written document does not load", first.getJson().left(200));
    const QJsonObject a = QJsonDocument::fromJson(first.getJson().toUtf8()).object();
    const QJsonObject b = QJsonDocument::fromJson(second.getJson().toUtf8()).object();
    // Task identifiers are new on every read; everything else must come back as written.
    if (a.value(QLatin1String("steps")).toArray().size() !=
        b.value(QLatin1String("steps")).toArray().size())
        FuzzCheck::fail("steps lost in a reload", first.getJson().left(200));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(bytes), int(size));
    YRPlanData data;
    data.setTeachingPlanDir(FuzzCheck::planDir());
    const bool loaded = data.setJson(text);
    FuzzCheck::planRecordsStayInside(data);
    data.getDownloadFileTotalSize();
    if (!loaded)
        return 0;
    // The writer's text is the framework's own normal form of the same document.
    const QString written = data.getJson();
    if (written != QString::fromUtf8(QJsonDocument::fromJson(written.toUtf8()).toJson()))
        FuzzCheck::fail("the written text is not in normal form", written.left(200));
    compareReload(data);

    // Walk the tree through the interface and edit it: every identifier the document holds.
    const QJsonArray steps = QJsonDocument::fromJson(data.getJson().toUtf8())
                                 .object()
                                 .value(QLatin1String("steps"))
                                 .toArray();
    QStringList ids;
    for (const QJsonValue &step : steps) {
        const QString stepId = step[QLatin1String("attr")][QLatin1String("stepId")].toString();
        ids << stepId << data.getNodeId(stepId);
        data.addStepOrTask(stepId, QStringLiteral("t"), QString());
        data.appendNode(
            stepId, QString(),
            QStringLiteral(R"({"nodeType":"file","nodeContent":{"fileName":"x.docx"}})"));
    }
    FuzzCheck::planRecordsStayInside(data);
    if (ids.size() > 1) {
        data.orderStepOrTask(ids.last(), ids.first(), QString(), 2);
        data.orderStepOrTask(ids.last(), ids.first(), QStringLiteral("{\"stepId\":\"x\"}"), 1);
        data.renameStepOrTask(ids.first(), QStringLiteral("-1"), QStringLiteral("r"), QString());
    }
    int kind = 1;
    for (const QString &id : qAsConst(ids)) {
        data.setNodeFileMD5(id, QStringLiteral("m"));
        data.deleteStepOrTask(id, kind);
        kind = kind % 5 + 1;
    }
    data.clearTeachingPlanData();
    return 0;
}
