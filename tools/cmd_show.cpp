#include "cliutil.h"
#include "commands.h"
#include "planfiles.h"

#include <QDateTime>
#include <QJsonArray>

namespace {

QString timeText(const QJsonValue &seconds)
{
    const qint64 value = seconds.toVariant().toLongLong();
    if (value < 0)
        return QStringLiteral("%1 (not set)").arg(value);
    return QStringLiteral("%1 (%2)")
        .arg(QDateTime::fromSecsSinceEpoch(value).toString(Qt::ISODate))
        .arg(value);
}

// The local file a node refers to, where its kind has one: the file, question and e-book
// page paths, the thumbnail of a subject application.
QString localPathOfNode(const QString &kind, const QJsonObject &content)
{
    if (kind == QLatin1String("subjectApp"))
        return content.value(QStringLiteral("localThumb")).toString();
    if (kind == QLatin1String("paper"))
        return QString();
    return content.value(QStringLiteral("localPath")).toString();
}

void printNodes(const QJsonArray &nodes, const QString &indent, QTextStream &out)
{
    for (const QJsonValue &value : nodes) {
        const QJsonObject node = value.toObject();
        const QString kind = node.value(QStringLiteral("nodeType")).toString();
        const QJsonObject content = node.value(QStringLiteral("nodeContent")).toObject();
        out << indent << kind << " \"" << nodeDisplayName(node) << "\"";
        const QString path = localPathOfNode(kind, content);
        if (!path.isEmpty())
            out << "  path " << path;
        out << "  id " << node.value(QStringLiteral("nodeId")).toString() << '\n';
    }
}

} // namespace

void printPlanTree(const PlanFile &plan, QTextStream &out)
{
    const QJsonObject document = plan.document();
    const QJsonObject description = document.value(QStringLiteral("description")).toObject();
    out << "plan \"" << description.value(QStringLiteral("name")).toString() << "\"\n";
    // The model names a plan after its folder; the document keeps the GUID it was made with.
    const QJsonObject stored =
        plan.storedDocument().value(QStringLiteral("description")).toObject();
    out << "  GUID      " << stored.value(QStringLiteral("GUID")).toString() << '\n';
    out << "  version   " << description.value(QStringLiteral("documentVersion")).toString()
        << '\n';
    out << "  created   " << timeText(description.value(QStringLiteral("createTime"))) << '\n';
    out << "  updated   " << timeText(description.value(QStringLiteral("updateTime"))) << '\n';
    out << (plan.isPackage() ? "  package   " : "  directory ") << plan.location() << '\n';

    const QJsonArray steps = document.value(QStringLiteral("steps")).toArray();
    out << "steps: " << steps.size() << '\n';
    for (int s = 0; s < steps.size(); ++s) {
        const QJsonObject step = steps.at(s).toObject();
        const QJsonObject attr = step.value(QStringLiteral("attr")).toObject();
        const QString type = attr.value(QStringLiteral("stepType")).toString();
        out << "[" << s << "] \"" << attr.value(QStringLiteral("stepName")).toString() << "\"  "
            << type << " (" << stepTypeCode(type) << ")  id "
            << attr.value(QStringLiteral("stepId")).toString() << '\n';
        printNodes(step.value(QStringLiteral("nodes")).toArray(), QStringLiteral("    "), out);
        const QJsonArray tasks = step.value(QStringLiteral("tasks")).toArray();
        for (const QJsonValue &value : tasks) {
            const QJsonObject task = value.toObject();
            out << "    task \"" << task.value(QStringLiteral("taskName")).toString()
                << "\"  desc \"" << task.value(QStringLiteral("taskDesc")).toString() << "\"  id "
                << task.value(QStringLiteral("taskId")).toString() << '\n';
            printNodes(task.value(QStringLiteral("nodes")).toArray(), QStringLiteral("        "),
                       out);
        }
    }
}

int runShowCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("show"),
                        QStringLiteral("Shows a plan: its attributes, then every step with its "
                                       "tasks and nodes (kind, name, local path, id).\nTask ids "
                                       "are those stored in the document."));
    addPlanArgument(line, PlanFile::ReadOnly);
    line.addOption(QStringLiteral("json"),
                   QStringLiteral("Print the document in its normal form instead of the tree."));
    int exitCode = ExitSuccess;
    PlanFile plan;
    if (!line.parse(arguments, 1, 1, &exitCode) ||
        !openPlanArgument(line, 0, PlanFile::ReadOnly, &plan, &exitCode))
        return exitCode;
    if (line.isSet(QStringLiteral("json")))
        standardOutput() << plan.documentText();
    else
        printPlanTree(plan, standardOutput());
    return ExitSuccess;
}
