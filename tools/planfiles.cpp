#include "planfiles.h"

#include "cliutil.h"
#include "interfaces/planpackage.h"
#include "plandata/planpaths.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSet>
#include <QVector>

#include <algorithm>

namespace {

const char kDocumentName[] = "teachpkg.json";

QJsonObject parsedObject(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QJsonArray tasksOf(const QJsonValue &step)
{
    return step.toObject().value(QStringLiteral("tasks")).toArray();
}

// The tasks of a stored step in the order the reader gives them: stably sorted by "taskOrder".
QVector<QJsonObject> tasksInReadingOrder(const QJsonArray &tasks)
{
    QVector<QJsonObject> ordered;
    for (const QJsonValue &task : tasks)
        ordered << task.toObject();
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const QJsonObject &a, const QJsonObject &b) {
                         return a.value(QStringLiteral("taskOrder")).toInt() <
                                b.value(QStringLiteral("taskOrder")).toInt();
                     });
    return ordered;
}

// Nodes added to a task in this run have their files in the folder of the identifier the
// model gave the task; the task keeps its stored identifier, and so does its folder.
QJsonArray nodesInTaskFolder(QJsonArray nodes, const QString &modelTaskId, const QString &storedId)
{
    if (modelTaskId == storedId)
        return nodes;
    const QString from = QLatin1Char('/') + modelTaskId + QLatin1Char('/');
    const QString to = QLatin1Char('/') + storedId + QLatin1Char('/');
    for (int n = 0; n < nodes.size(); ++n) {
        QJsonObject node = nodes.at(n).toObject();
        QJsonObject content = node.value(QStringLiteral("nodeContent")).toObject();
        for (const char *key : {"localPath", "localThumb"}) {
            const QString path = content.value(QLatin1String(key)).toString();
            if (path.startsWith(from))
                content.insert(QLatin1String(key), to + path.mid(from.size()));
        }
        node.insert(QStringLiteral("nodeContent"), content);
        nodes.replace(n, node);
    }
    return nodes;
}

bool setError(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

QString nodeDisplayName(const QJsonObject &node)
{
    const QJsonObject content = node.value(QStringLiteral("nodeContent")).toObject();
    for (const char *key : {"fileName", "chName", "paperName", "appName", "pageName"}) {
        if (content.contains(QLatin1String(key)))
            return content.value(QLatin1String(key)).toString();
    }
    return QString();
}

QVector<RecordLocation> recordsOf(const QJsonObject &document)
{
    QVector<RecordLocation> records;
    const auto addNodes = [&](const QJsonArray &nodes, RecordLocation parent) {
        parent.kind = RecordLocation::Node;
        parent.taskDesc.clear();
        for (int n = 0; n < nodes.size(); ++n) {
            const QJsonObject node = nodes.at(n).toObject();
            parent.id = node.value(QStringLiteral("nodeId")).toString();
            parent.name = nodeDisplayName(node);
            parent.listPosition = n;
            records << parent;
        }
    };
    const QJsonArray steps = document.value(QStringLiteral("steps")).toArray();
    for (int s = 0; s < steps.size(); ++s) {
        const QJsonObject step = steps.at(s).toObject();
        const QJsonObject attr = step.value(QStringLiteral("attr")).toObject();
        RecordLocation here;
        here.kind = RecordLocation::Step;
        here.id = here.stepId = attr.value(QStringLiteral("stepId")).toString();
        here.stepType = stepTypeCode(attr.value(QStringLiteral("stepType")).toString());
        here.name = attr.value(QStringLiteral("stepName")).toString();
        here.listPosition = s;
        records << here;
        addNodes(step.value(QStringLiteral("nodes")).toArray(), here);

        const QJsonArray tasks = tasksOf(step);
        for (int t = 0; t < tasks.size(); ++t) {
            const QJsonObject task = tasks.at(t).toObject();
            RecordLocation taskLocation = here;
            taskLocation.kind = RecordLocation::Task;
            taskLocation.id = taskLocation.taskId = task.value(QStringLiteral("taskId")).toString();
            taskLocation.name = task.value(QStringLiteral("taskName")).toString();
            taskLocation.taskDesc = task.value(QStringLiteral("taskDesc")).toString();
            taskLocation.listPosition = t;
            records << taskLocation;
            addNodes(task.value(QStringLiteral("nodes")).toArray(), taskLocation);
        }
    }
    return records;
}

QString documentPathOf(const QString &planDirectory)
{
    return planDirectory + QLatin1Char('/') + QLatin1String(kDocumentName);
}

PlanFile::PlanFile() = default;
PlanFile::~PlanFile() = default;

bool PlanFile::open(const QString &argument, Access access, QString *error)
{
    const QFileInfo info(argument);
    if (argument.isEmpty() || !info.exists())
        return setError(error, QStringLiteral("no such file or directory: %1").arg(argument));
    if (info.isDir()) {
        directory = info.absoluteFilePath();
    } else if (info.suffix().compare(QLatin1String("yrtp"), Qt::CaseInsensitive) == 0) {
        if (access == Editable)
            return setError(error, QStringLiteral("%1 is a .yrtp package, which yrplan only "
                                                  "reads: unpack it, edit the directory and "
                                                  "pack it again")
                                       .arg(argument));
        if (!openPackage(info, error))
            return false;
    } else if (info.fileName() == QLatin1String(kDocumentName)) {
        directory = info.absolutePath();
    } else {
        return setError(error, QStringLiteral("%1 is neither a plan directory, a teachpkg.json "
                                              "nor a .yrtp package")
                                   .arg(argument));
    }

    const QString path = documentPath();
    QFile file(path);
    if (!file.exists())
        return setError(error, QStringLiteral("%1 holds no teachpkg.json").arg(argument));
    if (!file.open(QIODevice::ReadOnly))
        return setError(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return setError(error, QStringLiteral("%1 is not JSON: %2 at offset %3")
                                   .arg(path, parseError.errorString())
                                   .arg(parseError.offset));

    model.setTeachingPlanDir(directory);
    if (!parsed.isObject() || !model.setJson(model.getJson(path, true)))
        return setError(error, QStringLiteral("%1 is not a usable plan document (no "
                                              "description, an unsupported document version "
                                              "or an unknown step type)")
                                   .arg(isPackage() ? packagePath : path));
    stored = parsed.object();
    rememberStoredTaskIds();
    return true;
}

// Only the document is taken out of the package, into a temporary directory named like the
// package, as the controller would name the plan's own.
bool PlanFile::openPackage(const QFileInfo &package, QString *error)
{
    packagePath = package.absoluteFilePath();
    YRPlanPackage::PackageReader reader(packagePath);
    QString why;
    if (!reader.open(&why))
        return setError(error, QStringLiteral("cannot read %1: %2").arg(packagePath, why));
    if (!reader.refusals().isEmpty())
        return setError(
            error,
            QStringLiteral("%1 is refused: %2").arg(packagePath, reader.refusals().constFirst()));
    documentCopy = std::make_unique<QTemporaryDir>();
    if (!documentCopy->isValid())
        return setError(error, QStringLiteral("cannot create a temporary directory"));
    directory = documentCopy->path() + QLatin1Char('/') + package.completeBaseName();
    QSaveFile copy(documentPath());
    if (!QDir().mkpath(directory) || !copy.open(QIODevice::WriteOnly) ||
        copy.write(reader.document()) != reader.document().size() || !copy.commit())
        return setError(error, QStringLiteral("cannot copy the document of %1").arg(packagePath));
    return true;
}

QJsonObject PlanFile::shownRecord(QJsonObject record) const
{
    const QString dest = record.value(QStringLiteral("dest")).toString();
    if (isPackage() && dest.startsWith(directory))
        record.insert(QStringLiteral("dest"), dest.mid(directory.size()));
    return record;
}

void PlanFile::rememberStoredTaskIds()
{
    const QJsonObject current = parsedObject(model.getJson());
    QSet<QString> taken;
    for (const RecordLocation &record : recordsOf(current))
        taken.insert(record.id);
    const QJsonArray storedSteps = stored.value(QStringLiteral("steps")).toArray();
    const QJsonArray modelSteps = current.value(QStringLiteral("steps")).toArray();
    for (int s = 0; s < qMin(storedSteps.size(), modelSteps.size()); ++s) {
        const QJsonArray modelTasks = tasksOf(modelSteps.at(s));
        const QVector<QJsonObject> storedTasks = tasksInReadingOrder(tasksOf(storedSteps.at(s)));
        if (storedTasks.size() != modelTasks.size())
            continue;
        for (int t = 0; t < storedTasks.size(); ++t) {
            const QString storedId = storedTasks.at(t).value(QStringLiteral("taskId")).toString();
            const QString modelTaskId =
                modelTasks.at(t).toObject().value(QStringLiteral("taskId")).toString();
            // An empty stored identifier, or one that names something else, would be
            // ambiguous: such a task keeps the identifier the reader gave it.
            if (storedId.isEmpty() || taken.contains(storedId))
                continue;
            taken.insert(storedId);
            modelToStored.insert(modelTaskId, storedId);
            storedToModel.insert(storedId, modelTaskId);
        }
    }
}

QString PlanFile::documentPath() const
{
    return documentPathOf(directory);
}

QJsonObject PlanFile::document() const
{
    QJsonObject root = parsedObject(model.getJson());
    if (modelToStored.isEmpty())
        return root;
    QJsonArray steps = root.value(QStringLiteral("steps")).toArray();
    for (int s = 0; s < steps.size(); ++s) {
        QJsonObject step = steps.at(s).toObject();
        QJsonArray tasks = tasksOf(step);
        for (int t = 0; t < tasks.size(); ++t) {
            QJsonObject task = tasks.at(t).toObject();
            const QString modelTaskId = task.value(QStringLiteral("taskId")).toString();
            const QString storedId = modelToStored.value(modelTaskId, modelTaskId);
            task.insert(QStringLiteral("taskId"), storedId);
            task.insert(QStringLiteral("nodes"),
                        nodesInTaskFolder(task.value(QStringLiteral("nodes")).toArray(),
                                          modelTaskId, storedId));
            tasks.replace(t, task);
        }
        if (step.contains(QStringLiteral("tasks")))
            step.insert(QStringLiteral("tasks"), tasks);
        steps.replace(s, step);
    }
    root.insert(QStringLiteral("steps"), steps);
    return root;
}

QString PlanFile::documentText() const
{
    return QString::fromUtf8(QJsonDocument(document()).toJson(QJsonDocument::Indented));
}

QString PlanFile::modelId(const QString &id) const
{
    return storedToModel.value(id, id);
}

RecordLocation PlanFile::locate(const QString &id) const
{
    RecordLocation found;
    if (id.isEmpty())
        return found;
    for (const RecordLocation &record : records()) {
        if (record.id != id)
            continue;
        if (found.kind != RecordLocation::Missing) {
            found.kind = RecordLocation::Ambiguous;
            break;
        }
        found = record;
    }
    return found;
}

QVector<RecordLocation> PlanFile::records() const
{
    return recordsOf(document());
}

bool PlanFile::save(QString *error)
{
    if (isPackage())
        return setError(error, QStringLiteral("a package is read only"));
    if (!model.saveJson(documentText(), QString()))
        return setError(error, QStringLiteral("cannot write %1").arg(documentPath()));
    return true;
}

void addPlanArgument(SubcommandLine &line, PlanFile::Access access)
{
    line.addPositional(QStringLiteral("PLAN"),
                       access == PlanFile::Editable
                           ? QStringLiteral("A plan directory or its teachpkg.json (.yrtp "
                                            "packages are read only: unpack, edit, pack).")
                           : QStringLiteral("A plan directory, its teachpkg.json, or a .yrtp "
                                            "package."));
}

bool openPlanArgument(const SubcommandLine &line, int position, PlanFile::Access access,
                      PlanFile *plan, int *exitCode)
{
    QString error;
    if (plan->open(line.positionals().at(position), access, &error))
        return true;
    *exitCode = line.fail(error);
    return false;
}

void addRootOption(SubcommandLine &line)
{
    line.addOption(QStringLiteral("root"),
                   QStringLiteral("Keep the teaching plans under DIR in place of "
                                  "ALLUSERSPROFILE: the teaching-plan root ROOT is "
                                  "DIR/Orvane/Tavrunelcore/TeachPlans (default: the same below "
                                  "ALLUSERSPROFILE, or below the user's data folder where that is "
                                  "unset)."),
                   QStringLiteral("DIR"));
}

bool applyRootOption(const SubcommandLine &line, int *exitCode)
{
    if (!line.isSet(QStringLiteral("root")))
        return true;
    const QString directory = line.value(QStringLiteral("root"));
    if (directory.isEmpty()) {
        *exitCode = line.usageError(QStringLiteral("--root needs a directory"));
        return false;
    }
    qputenv("ALLUSERSPROFILE", QFile::encodeName(QFileInfo(directory).absoluteFilePath()));
    return true;
}

QString createPlan(IYRPlanData &plan, const QString &name, QString *error)
{
    plan.initTeachingPlanAttr();
    QString user = YRPlanPaths::signedInUserId();
    if (user.isEmpty())
        user = QStringLiteral("local");
    const qint64 dayStamp =
        QDateTime(QDate::currentDate(), QTime(0, 0), Qt::LocalTime).toSecsSinceEpoch();
    const QString planDir = QStringLiteral("%1/%2/%3/%4")
                                .arg(plan.getTeachingPlanRoot(), user)
                                .arg(dayStamp)
                                .arg(plan.getTeachingPlanAttr().strGUID);
    plan.setTeachingPlanDir(planDir);
    if (!name.isEmpty()) {
        TeachingPlanAttr attr = plan.getTeachingPlanAttr();
        attr.strName = name;
        plan.setTeachingPlanAttr(attr);
    }
    const QString firstStep = QStringLiteral("情景导入");
    if (!plan.addStepOrTask(QString(), firstStep, firstStep)) {
        setError(error, QStringLiteral("cannot add the first step"));
        return QString();
    }
    if (!plan.saveJson(plan.getJson(), QString())) {
        setError(error, QStringLiteral("cannot write %1").arg(documentPathOf(planDir)));
        return QString();
    }
    return plan.getTeachingPlanDir();
}

bool unpackPackage(const QString &package, const QString &directory, QString *error)
{
    const QFileInfo packageInfo(package);
    if (!packageInfo.isFile())
        return setError(error, QStringLiteral("no such package: %1").arg(package));
    const QFileInfo target(directory);
    const QString targetPath = QDir::cleanPath(target.absoluteFilePath());
    if (target.exists() && !target.isDir())
        return setError(error, QStringLiteral("%1 exists and is not a directory").arg(directory));
    if (target.isDir() && !QDir(targetPath).isEmpty())
        return setError(error, QStringLiteral("%1 is not empty: unpack into a new or empty "
                                              "directory")
                                   .arg(directory));

    // Unpack beside the target and move the result into place only once it is complete.
    const QString parentPath = QFileInfo(targetPath).absolutePath();
    if (!QDir().mkpath(parentPath))
        return setError(error, QStringLiteral("cannot create %1").arg(parentPath));
    QTemporaryDir staging(parentPath + QStringLiteral("/.yrplan-unpack-XXXXXX"));
    if (!staging.isValid())
        return setError(error, QStringLiteral("cannot create a directory in %1").arg(parentPath));
    QString why;
    if (!YRPlanPackage::extractPackage(packageInfo.absoluteFilePath(), staging.path(), &why))
        return setError(error, QStringLiteral("cannot unpack %1: %2").arg(package, why));
    if (target.isDir())
        QDir().rmdir(targetPath);
    if (!QDir().rename(staging.path(), targetPath))
        return setError(error,
                        QStringLiteral("cannot move the unpacked plan to %1").arg(directory));
    staging.setAutoRemove(false);
    // The staging directory was private to its creator; the plan is an ordinary directory.
    QFile::setPermissions(targetPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                          QFile::ExeOther);
    return true;
}

bool isPackageTarget(const QString &directory, const QString &package, QString *error)
{
    const QFileInfo target(package);
    if (YRPlanPaths::isInside(QDir::cleanPath(QFileInfo(directory).absoluteFilePath()),
                              QDir::cleanPath(target.absoluteFilePath())))
        return setError(error, QStringLiteral("the package %1 cannot lie inside the directory "
                                              "it packs")
                                   .arg(package));
    return YRPlanPackage::isPackageOutput(package, error);
}

bool packPlanDirectory(const QString &directory, const QString &package, QString *error)
{
    const QFileInfo source(directory);
    if (!source.isDir())
        return setError(error, QStringLiteral("no such plan directory: %1").arg(directory));
    const QString sourcePath = QDir::cleanPath(source.absoluteFilePath());
    PlanFile plan; // only a directory that holds a usable plan is packed
    if (!plan.open(sourcePath, PlanFile::ReadOnly, error))
        return false;

    if (!isPackageTarget(sourcePath, package, error))
        return false;
    const QString targetPath = QDir::cleanPath(QFileInfo(package).absoluteFilePath());
    QString why;
    if (!YRPlanPackage::packPlan(targetPath, sourcePath, &why))
        return setError(error, QStringLiteral("cannot pack %1: %2").arg(directory, why));
    return true;
}
