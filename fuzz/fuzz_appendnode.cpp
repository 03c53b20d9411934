// Web-editor node JSON of any shape appended to a plan: no crash, leak or hang, and nothing is
// queued outside the plan directory. The first byte picks the target (a step, a task, a step
// whose identifier tries to climb out of the plan).

#include "fuzzcheck.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>

namespace {

const char kPlan[] = R"({
  "description": {"documentVersion": "5.0", "name": "fuzz"},
  "steps": [
    {"attr": {"stepId": "s-normal", "stepName": "a", "stepOrder": 0, "stepType": "内容精讲"},
     "nodes": [{"nodeId": "n1", "nodeType": "file",
                "nodeContent": {"fileName": "a.png", "cloudPath": "c/a.png", "localPath": "/s-normal/a.png"}}]},
    {"attr": {"stepId": "s-inquiry", "stepName": "b", "stepOrder": 1, "stepType": "分组探究"},
     "tasks": [{"taskName": "t", "taskOrder": 0, "nodes": []}]},
    {"attr": {"stepId": "../../..", "stepName": "c", "stepOrder": 2, "stepType": "自定义"},
     "nodes": []}
  ]
})";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    if (size == 0)
        return 0;
    YRPlanData data;
    data.setTeachingPlanDir(FuzzCheck::planDir());
    if (!data.setJson(QString::fromUtf8(kPlan)))
        FuzzCheck::fail("the base plan does not load", QString());
    data.clearJsonFiles();
    const QJsonObject root = QJsonDocument::fromJson(data.getJson().toUtf8()).object();
    const QString taskId =
        root.value(QLatin1String("steps"))[1][QLatin1String("tasks")][0][QLatin1String("taskId")]
            .toString();
    const QString json =
        QString::fromUtf8(reinterpret_cast<const char *>(bytes) + 1, int(size) - 1);
    switch (bytes[0] % 4) {
    case 0:
        data.appendNode(QStringLiteral("s-normal"), QString(), json);
        break;
    case 1:
        data.appendNode(QStringLiteral("s-inquiry"), taskId, json);
        break;
    case 2:
        data.appendNode(QStringLiteral("../../.."), QString(), json);
        break;
    default:
        // The same node twice: the duplicate check and the renaming of clashing files.
        data.appendNode(QStringLiteral("s-normal"), QString(), json);
        data.appendNode(QStringLiteral("s-normal"), QString(), json);
        break;
    }
    FuzzCheck::planRecordsStayInside(data);
    YRPlanData reloaded;
    reloaded.setTeachingPlanDir(FuzzCheck::planDir());
    if (!reloaded.setJson(data.getJson()))
        FuzzCheck::fail("the edited plan does not load again", data.getJson().left(200));
    FuzzCheck::planRecordsStayInside(reloaded);
    return 0;
}
