// The plan lifecycle through the plan controller, driven as the host application drives it:
// create, open, save, import, rename and delete.

#include "cliutil.h"
#include "commands.h"
#include "planfiles.h"
#include "planhost.h"
#include "progressline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <functional>

namespace {

// --root and --trace, which every lifecycle command takes.
void addLifecycleOptions(SubcommandLine &line)
{
    addRootOption(line);
    line.addOption(QStringLiteral("trace"),
                   QStringLiteral("Print every state code that the controller reports (\"state "
                                  "<code> <name>\") and every JavaScript statement that it sends "
                                  "to the editor page (\"js <statement>\"), in order."));
}

void addConvertOption(SubcommandLine &line)
{
    line.addOption(QStringLiteral("convert"),
                   QStringLiteral("Convert an older plan (document version 4.0) to the current "
                                  "version 5.0; without it such a plan is refused."));
}

// Parses a lifecycle command: its arguments, then --root.
bool parseLifecycleLine(SubcommandLine &line, const QStringList &arguments, int positionals,
                        int *exitCode, const QStringList &required = QStringList())
{
    return line.parse(arguments, positionals, positionals, exitCode, required) &&
           applyRootOption(line, exitCode);
}

// The PLAN argument of a lifecycle command, located under the teaching-plan root.
void addRootedPlanArgument(SubcommandLine &line)
{
    line.addPositional(QStringLiteral("PLAN"),
                       QStringLiteral("A plan directory under the teaching-plan root, or its "
                                      "teachpkg.json."));
}

bool locatePlanArgument(const SubcommandLine &line, RootedPlan *plan, int *exitCode)
{
    QString error;
    if (locateRootedPlan(line.positionals().at(0), plan, &error))
        return true;
    *exitCode = line.fail(error);
    return false;
}

// Locates the PLAN argument and reads its document, so that a document that cannot be read is
// reported before the controller writes anything.
bool readPlanArgument(const SubcommandLine &line, RootedPlan *rooted, PlanFile *plan, int *exitCode)
{
    QString error;
    if (!locatePlanArgument(line, rooted, exitCode))
        return false;
    if (plan->open(rooted->directory, PlanFile::ReadOnly, &error))
        return true;
    *exitCode = line.fail(error);
    return false;
}

void addPackageArgument(SubcommandLine &line)
{
    line.addPositional(QStringLiteral("FILE"), QStringLiteral("The package (.yrtp)."));
}

// The absolute path of the FILE argument, which must be an existing file.
bool packageArgument(const SubcommandLine &line, QString *package, int *exitCode)
{
    const QFileInfo info(line.positionals().at(0));
    if (!info.isFile()) {
        *exitCode = line.fail(QStringLiteral("no such package: %1").arg(info.filePath()));
        return false;
    }
    *package = info.absoluteFilePath();
    return true;
}

// A package name taken for a save: created empty and exclusively, and removed again unless the
// save wrote the package (while it is still the empty file made here).
class PackageReservation
{
public:
    PackageReservation() = default;
    PackageReservation(const PackageReservation &) = delete;
    PackageReservation &operator=(const PackageReservation &) = delete;
    ~PackageReservation()
    {
        if (!m_path.isEmpty() && !m_kept && QFileInfo(m_path).size() == 0)
            QFile::remove(m_path);
    }
    // False, with *error, when path exists already or cannot be created.
    bool reserve(const QString &path, QString *error)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_path = path;
            return true;
        }
        *error = QFileInfo::exists(path) || QFileInfo(path).isSymLink()
                     ? QStringLiteral("%1 exists: --force replaces it").arg(path)
                     : QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
        return false;
    }
    void keep() { m_kept = true; }

private:
    QString m_path;
    bool m_kept = false;
};

// Runs flow on a host that traces as --trace says; prints the failure, or else the result
// lines of printResult.
int runOnHost(const SubcommandLine &line, const std::function<bool(PlanHost &, QString *)> &flow,
              const std::function<void(PlanHost &)> &printResult = nullptr)
{
    PlanHost host(line.isSet(QStringLiteral("trace")));
    QString error;
    if (!flow(host, &error))
        return line.fail(error);
    if (printResult)
        printResult(host);
    return ExitSuccess;
}

void printPlanDirectory(PlanHost &host)
{
    standardOutput() << host.planDirectory() << '\n';
}

// "plan "NAME", N steps: first, second, ..." for the plan that the host has open.
QString planSummary(IYRPlanData &plan)
{
    QStringList steps;
    for (const RecordLocation &record :
         recordsOf(QJsonDocument::fromJson(plan.getJson().toUtf8()).object())) {
        if (record.kind == RecordLocation::Step)
            steps << record.name;
    }
    return QStringLiteral("plan \"%1\", %2 %3: %4")
        .arg(plan.getTeachingPlanAttr().strName)
        .arg(steps.size())
        .arg(steps.size() == 1 ? QStringLiteral("step") : QStringLiteral("steps"))
        .arg(steps.join(QStringLiteral(", ")));
}

} // namespace

int runCreateCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("create"),
                        QStringLiteral("Creates a plan through the plan controller: a fresh "
                                       "directory ROOT/<day stamp>/<GUID> whose teachpkg.json "
                                       "holds a first step 内容精讲, marked not saved "
                                       "(teachpkg.json.notsave). Prints the plan directory."));
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    if (!parseLifecycleLine(line, arguments, 0, &exitCode))
        return exitCode;
    return runOnHost(
        line, [](PlanHost &host, QString *error) { return host.createPlan(error); },
        printPlanDirectory);
}

int runOpenCommand(const QStringList &arguments)
{
    SubcommandLine line(
        QStringLiteral("open"),
        QStringLiteral("Opens a .yrtp package through the plan controller: unpacks it into a "
                       "fresh plan directory under the teaching-plan root, reads its document "
                       "version and opens the plan, named after the package file and stored as "
                       "a version 5.0 document. Prints the plan directory, then the plan's name "
                       "and steps. A package with entries that would leave the directory is "
                       "refused."));
    addPackageArgument(line);
    addConvertOption(line);
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    QString package;
    if (!parseLifecycleLine(line, arguments, 1, &exitCode) ||
        !packageArgument(line, &package, &exitCode))
        return exitCode;

    const bool convert = line.isSet(QStringLiteral("convert"));
    const ProgressLine progress(line.name());
    return runOnHost(
        line,
        [&](PlanHost &host, QString *error) {
            host.dialogs().setConvert(convert);
            return host.openPackage(package, convert, error);
        },
        [](PlanHost &host) {
            printPlanDirectory(host);
            standardOutput() << planSummary(host.planData()) << '\n';
        });
}

int runSaveCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("save"),
                        QStringLiteral("Opens a plan under the teaching-plan root through the "
                                       "plan controller and saves it as it does when nobody is "
                                       "signed in: the document gets a new update time, the "
                                       "plan directory is packed into the package that the save "
                                       "dialog is given (--to), and the directory then keeps a "
                                       "not-saved marker (teachpkg.json.notsave). Prints the "
                                       "package written."));
    addRootedPlanArgument(line);
    line.addOption(QStringLiteral("to"),
                   QStringLiteral("The package to write (required); \".yrtp\" is appended to "
                                  "a name without that suffix."),
                   QStringLiteral("FILE"));
    line.addOption(QStringLiteral("force"),
                   QStringLiteral("Replace an existing package (a regular file). Without it an "
                                  "existing name is refused, even one that appears while the "
                                  "save runs."));
    addConvertOption(line);
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    if (!parseLifecycleLine(line, arguments, 1, &exitCode, {QStringLiteral("to")}))
        return exitCode;
    QString target = line.value(QStringLiteral("to"));
    if (target.isEmpty())
        return line.usageError(QStringLiteral("--to needs a file"));
    RootedPlan rooted;
    PlanFile plan;
    if (!readPlanArgument(line, &rooted, &plan, &exitCode))
        return exitCode;
    if (QFileInfo(target).suffix() != QLatin1String("yrtp"))
        target += QLatin1String(".yrtp"); // as the controller names the package
    target = QDir::cleanPath(QFileInfo(target).absoluteFilePath());

    // Checked before the plan is opened: saving writes the plan's document first.
    QString error;
    if (!isPackageTarget(rooted.directory, target, &error))
        return line.fail(error);
    const bool force = line.isSet(QStringLiteral("force"));
    // Without --force the package's name is taken at once, exclusively: a second run racing
    // for the same name fails here instead of replacing the first one's package.
    PackageReservation reservation;
    if (!force && !reservation.reserve(target, &error))
        return line.fail(error);

    const bool convert = line.isSet(QStringLiteral("convert"));
    const QString name = plan.data().getTeachingPlanAttr().strName;
    const ProgressLine progress(line.name());
    return runOnHost(
        line,
        [&](PlanHost &host, QString *error) {
            // The save dialog then finds the reserved file: replacing it is what was asked.
            host.dialogs().setForce(true);
            host.dialogs().setConvert(convert);
            if (!host.openRootedPlan(rooted.jsonPath, name, error) ||
                !host.saveOpenPlan(target, error))
                return false;
            reservation.keep();
            return true;
        },
        [&](PlanHost &) { standardOutput() << target << '\n'; });
}

int runImportCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("import"),
                        QStringLiteral("Imports a .yrtp package through the plan controller: "
                                       "unpacks it into a fresh plan directory under the "
                                       "teaching-plan root as a new plan named after the "
                                       "package file, marked not saved. Prints the plan "
                                       "directory. A package with entries that would leave the "
                                       "directory is refused."));
    addPackageArgument(line);
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    QString package;
    if (!parseLifecycleLine(line, arguments, 1, &exitCode) ||
        !packageArgument(line, &package, &exitCode))
        return exitCode;

    const ProgressLine progress(line.name());
    return runOnHost(
        line, [&](PlanHost &host, QString *error) { return host.importPackage(package, error); },
        printPlanDirectory);
}

int runRenameCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("rename"),
                        QStringLiteral("Renames a plan under the teaching-plan root through the "
                                       "plan controller, as the plan list does for a plan that "
                                       "is not open: its document gets the new name."));
    addRootedPlanArgument(line);
    line.addPositional(QStringLiteral("NEWNAME"), QStringLiteral("The plan's new name."));
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    if (!parseLifecycleLine(line, arguments, 2, &exitCode))
        return exitCode;
    const QString newName = line.positionals().at(1);
    if (newName.trimmed().isEmpty())
        return line.usageError(QStringLiteral("NEWNAME must not be empty"));
    RootedPlan rooted;
    PlanFile plan;
    if (!readPlanArgument(line, &rooted, &plan, &exitCode))
        return exitCode;

    return runOnHost(line, [&](PlanHost &host, QString *error) {
        return host.renamePlan(rooted.jsonPath, newName, error);
    });
}

int runDeleteCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("delete"),
                        QStringLiteral("Deletes a plan under the teaching-plan root through the "
                                       "plan controller: its directory with everything in it."));
    addRootedPlanArgument(line);
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    RootedPlan rooted;
    if (!parseLifecycleLine(line, arguments, 1, &exitCode) ||
        !locatePlanArgument(line, &rooted, &exitCode))
        return exitCode;
    return runOnHost(line, [&](PlanHost &host, QString *error) {
        return host.deletePlan(rooted.jsonPath, error);
    });
}
