// The plan lifecycle through the plan controller, driven as the host application drives it:
// create, open, save, import, rename, delete and export, signed in to a plan service or not.

#include "cliutil.h"
#include "cloudaccount.h"
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

// --root, --trace, --cloud and --token, which every lifecycle command takes.
void addLifecycleOptions(SubcommandLine &line)
{
    addRootOption(line);
    line.addOption(QStringLiteral("trace"),
                   QStringLiteral("Print every state code that the controller reports (\"state "
                                  "<code> <name>\") and every JavaScript statement that it sends "
                                  "to the editor page (\"js <statement>\"), in order; signed in, "
                                  "also every request and transfer with its outcome (\"request "
                                  "<api>: ok\", \"download <dest>: ok\", \"upload <remotePath> "
                                  "to <bucket>: ok\")."));
    addCloudOptions(line);
}

void addConvertOption(SubcommandLine &line)
{
    line.addOption(QStringLiteral("convert"),
                   QStringLiteral("Convert an older plan (document version 4.0) to the current "
                                  "version 5.0; without it such a plan is refused."));
}

// Parses a lifecycle command: its arguments, then --root and the cloud account.
bool parseLifecycleLine(SubcommandLine &line, const QStringList &arguments, int positionals,
                        CloudAccount *account, int *exitCode)
{
    return line.parse(arguments, positionals, positionals, exitCode) &&
           applyRootOption(line, exitCode) && cloudAccountOf(line, account, exitCode);
}

// The ID argument of a command signed in: the id of a cloud plan, a positive number.
bool cloudPlanArgument(const SubcommandLine &line, int *id, int *exitCode)
{
    bool isNumber = false;
    *id = line.positionals().at(0).toInt(&isNumber);
    if (isNumber && *id > 0)
        return true;
    *exitCode = line.usageError(QStringLiteral("signed in, the plan is named by its cloud id, "
                                               "not \"%1\" (yrplan cloud list shows them)")
                                    .arg(line.positionals().at(0)));
    return false;
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

// Runs flow on a host that traces as --trace says, signed in to account when it is set; prints
// the failure, or else the result lines of printResult.
int runOnHost(const SubcommandLine &line, const CloudAccount &account,
              const std::function<bool(PlanHost &, QString *)> &flow,
              const std::function<void(PlanHost &)> &printResult = nullptr)
{
    PlanHost host(line.isSet(QStringLiteral("trace")), account);
    QString error;
    if (!host.signIn(&error) || !flow(host, &error))
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

// --to FILE and --force of a command that writes a package.
void addPackageTargetOptions(SubcommandLine &line)
{
    line.addOption(QStringLiteral("to"),
                   QStringLiteral("The package to write; \".yrtp\" is appended to a name without "
                                  "that suffix."),
                   QStringLiteral("FILE"));
    line.addOption(QStringLiteral("force"),
                   QStringLiteral("Replace an existing package (a regular file). Without it an "
                                  "existing name is refused, even one that appears while the "
                                  "command runs."));
}

// The package that --to names, absolute and with the suffix the controller gives it, into
// *target. It must not lie inside directory (when one is given). Without --force its name is
// taken at once, exclusively: a second run racing for the same name fails here instead of
// replacing the first one's package.
bool packageTarget(const SubcommandLine &line, const QString &directory,
                   PackageReservation *reservation, QString *target, int *exitCode)
{
    *target = line.value(QStringLiteral("to"));
    if (QFileInfo(*target).suffix() != QLatin1String("yrtp"))
        *target += QLatin1String(".yrtp"); // as the controller names the package
    *target = QDir::cleanPath(QFileInfo(*target).absoluteFilePath());
    QString error;
    if ((!directory.isEmpty() && !isPackageTarget(directory, *target, &error)) ||
        (!line.isSet(QStringLiteral("force")) && !reservation->reserve(*target, &error))) {
        *exitCode = line.fail(error);
        return false;
    }
    return true;
}

// Whether --to gives a file; a usage error otherwise.
bool hasPackageOption(const SubcommandLine &line, int *exitCode)
{
    if (!line.isSet(QStringLiteral("to"))) {
        *exitCode = line.usageError(QStringLiteral("--to is required"));
        return false;
    }
    if (line.value(QStringLiteral("to")).isEmpty()) {
        *exitCode = line.usageError(QStringLiteral("--to needs a file"));
        return false;
    }
    return true;
}

} // namespace

int runCreateCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("create"),
                        QStringLiteral("Creates a plan through the plan controller: a fresh "
                                       "directory ROOT/<day stamp>/<GUID> whose teachpkg.json "
                                       "holds a first step 内容精讲, marked not saved "
                                       "(teachpkg.json.notsave). Prints the plan directory. "
                                       "Signed in, the plan is the user's, in "
                                       "ROOT/<uid>/<day stamp>/<GUID>; save sends it to the "
                                       "cloud."));
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    CloudAccount account;
    if (!parseLifecycleLine(line, arguments, 0, &account, &exitCode))
        return exitCode;
    return runOnHost(
        line, account, [](PlanHost &host, QString *error) { return host.createPlan(error); },
        printPlanDirectory);
}

int runOpenCommand(const QStringList &arguments)
{
    SubcommandLine line(
        QStringLiteral("open"),
        QStringLiteral("Opens a .yrtp package through the plan controller: unpacks it into a "
                       "fresh plan directory under the teaching-plan root, reads its document "
                       "version and opens the plan, named after the package file and stored as "
                       "a version 5.0 document. A package with entries that would leave the "
                       "directory is refused. Signed in, opens the cloud plan ID instead: its "
                       "document, files, question contents and pictures come down into its "
                       "directory under the root. Prints the plan directory, then the plan's "
                       "name and steps."));
    line.addPositional(QStringLiteral("FILE|ID"),
                       QStringLiteral("The package (.yrtp); signed in, a cloud plan's id."));
    addConvertOption(line);
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    CloudAccount account;
    if (!parseLifecycleLine(line, arguments, 1, &account, &exitCode))
        return exitCode;
    int id = -1;
    QString package;
    if (account.isSet() ? !cloudPlanArgument(line, &id, &exitCode)
                        : !packageArgument(line, &package, &exitCode))
        return exitCode;

    const bool convert = line.isSet(QStringLiteral("convert"));
    const ProgressLine progress(line.name());
    return runOnHost(
        line, account,
        [&](PlanHost &host, QString *error) {
            host.dialogs().setConvert(convert);
            CloudPlan plan;
            if (account.isSet())
                return host.findCloudPlan(id, &plan, error) && host.openCloudPlan(plan, error);
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
                                       "plan controller and saves it. Nobody signed in: the "
                                       "document gets a new update time, the plan directory is "
                                       "packed into the package that the save dialog is given "
                                       "(--to), and the directory then keeps a not-saved marker "
                                       "(teachpkg.json.notsave); prints the package written. "
                                       "Signed in: the plan's files and its document go up to "
                                       "the cloud and the plan service records the plan "
                                       "(createplan, or updatePlan for a plan it knows); prints "
                                       "the cloud plan's id."));
    addRootedPlanArgument(line);
    addPackageTargetOptions(line);
    addConvertOption(line);
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    CloudAccount account;
    if (!parseLifecycleLine(line, arguments, 1, &account, &exitCode))
        return exitCode;
    if (account.isSet() &&
        (line.isSet(QStringLiteral("to")) || line.isSet(QStringLiteral("force"))))
        return line.usageError(QStringLiteral("signed in, save sends the plan to the cloud: "
                                              "--to and --force are for a package (export "
                                              "writes one)"));
    if (!account.isSet() && !hasPackageOption(line, &exitCode))
        return exitCode;
    RootedPlan rooted;
    PlanFile plan;
    if (!readPlanArgument(line, &rooted, &plan, &exitCode))
        return exitCode;
    // Checked before the plan is opened: saving writes the plan's document first.
    QString target;
    PackageReservation reservation;
    if (!account.isSet() &&
        !packageTarget(line, rooted.directory, &reservation, &target, &exitCode))
        return exitCode;

    const bool convert = line.isSet(QStringLiteral("convert"));
    const QString name = plan.data().getTeachingPlanAttr().strName;
    const ProgressLine progress(line.name());
    return runOnHost(
        line, account,
        [&](PlanHost &host, QString *error) {
            // The save dialog then finds the reserved file: replacing it is what was asked.
            host.dialogs().setForce(true);
            host.dialogs().setConvert(convert);
            if (!host.openRootedPlan(rooted.jsonPath, name, error))
                return false;
            QString recordedBy;
            if (account.isSet())
                return host.saveToCloud(&recordedBy, error);
            if (!host.saveOpenPlan(target, error))
                return false;
            reservation.keep();
            return true;
        },
        [&](PlanHost &host) {
            if (account.isSet())
                standardOutput() << host.controller().getId() << '\n';
            else
                standardOutput() << target << '\n';
        });
}

int runImportCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("import"),
                        QStringLiteral("Imports a .yrtp package through the plan controller: "
                                       "unpacks it into a fresh plan directory under the "
                                       "teaching-plan root as a new plan named after the "
                                       "package file, marked not saved; signed in, the plan is "
                                       "the user's, and save sends it to the cloud. Prints the "
                                       "plan directory. A package with entries that would leave "
                                       "the directory is refused."));
    addPackageArgument(line);
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    CloudAccount account;
    QString package;
    if (!parseLifecycleLine(line, arguments, 1, &account, &exitCode) ||
        !packageArgument(line, &package, &exitCode))
        return exitCode;

    const ProgressLine progress(line.name());
    return runOnHost(
        line, account,
        [&](PlanHost &host, QString *error) { return host.importPackage(package, error); },
        printPlanDirectory);
}

int runRenameCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("rename"),
                        QStringLiteral("Renames a plan under the teaching-plan root through the "
                                       "plan controller, as the plan list does for a plan that "
                                       "is not open: its document gets the new name. Signed in, "
                                       "renames the cloud plan ID: its document comes down, is "
                                       "renamed, goes up again and the plan service records the "
                                       "new name."));
    line.addPositional(QStringLiteral("PLAN|ID"),
                       QStringLiteral("A plan directory under the teaching-plan root, or its "
                                      "teachpkg.json; signed in, a cloud plan's id."));
    line.addPositional(QStringLiteral("NEWNAME"), QStringLiteral("The plan's new name."));
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    CloudAccount account;
    if (!parseLifecycleLine(line, arguments, 2, &account, &exitCode))
        return exitCode;
    const QString newName = line.positionals().at(1);
    if (newName.trimmed().isEmpty())
        return line.usageError(QStringLiteral("NEWNAME must not be empty"));
    int id = -1;
    RootedPlan rooted;
    PlanFile plan;
    if (account.isSet() ? !cloudPlanArgument(line, &id, &exitCode)
                        : !readPlanArgument(line, &rooted, &plan, &exitCode))
        return exitCode;

    return runOnHost(line, account, [&](PlanHost &host, QString *error) {
        CloudPlan cloudPlan;
        if (account.isSet())
            return host.findCloudPlan(id, &cloudPlan, error) &&
                   host.renameCloudPlan(cloudPlan, newName, error);
        return host.renamePlan(rooted.jsonPath, newName, error);
    });
}

int runDeleteCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("delete"),
                        QStringLiteral("Deletes a plan under the teaching-plan root through the "
                                       "plan controller: its directory with everything in it. "
                                       "Signed in, deletes the cloud plan ID through the plan "
                                       "service (its record and its files in the cloud), then "
                                       "its copy under the root, if there is one."));
    line.addPositional(QStringLiteral("PLAN|ID"),
                       QStringLiteral("A plan directory under the teaching-plan root, or its "
                                      "teachpkg.json; signed in, a cloud plan's id."));
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    CloudAccount account;
    int id = -1;
    RootedPlan rooted;
    if (!parseLifecycleLine(line, arguments, 1, &account, &exitCode) ||
        (account.isSet() ? !cloudPlanArgument(line, &id, &exitCode)
                         : !locatePlanArgument(line, &rooted, &exitCode)))
        return exitCode;
    return runOnHost(line, account, [&](PlanHost &host, QString *error) {
        CloudPlan cloudPlan;
        if (account.isSet())
            return host.findCloudPlan(id, &cloudPlan, error) &&
                   host.deleteCloudPlan(cloudPlan, error);
        return host.deletePlan(rooted.jsonPath, error);
    });
}

int runExportCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("export"),
                        QStringLiteral("Exports the cloud plan ID through the plan controller "
                                       "(signed in): its document, files and question contents "
                                       "come down into a working directory under the "
                                       "teaching-plan root and are packed into the package that "
                                       "the save dialog is given (--to). Prints the package "
                                       "written."));
    line.addPositional(QStringLiteral("ID"), QStringLiteral("A cloud plan's id."));
    addPackageTargetOptions(line);
    addLifecycleOptions(line);
    int exitCode = ExitSuccess;
    CloudAccount account;
    int id = -1;
    if (!parseLifecycleLine(line, arguments, 1, &account, &exitCode))
        return exitCode;
    if (!account.isSet())
        return line.usageError(QStringLiteral("export works on cloud plans: sign in with --cloud "
                                              "and --token (or YRPLAN_CLOUD and YRPLAN_TOKEN)"));
    QString target;
    PackageReservation reservation;
    if (!cloudPlanArgument(line, &id, &exitCode) || !hasPackageOption(line, &exitCode) ||
        !packageTarget(line, QString(), &reservation, &target, &exitCode))
        return exitCode;

    const ProgressLine progress(line.name());
    return runOnHost(
        line, account,
        [&](PlanHost &host, QString *error) {
            CloudPlan plan;
            if (!host.findCloudPlan(id, &plan, error) ||
                !isPackageTarget(host.cloudPlanDirectory(plan), target, error))
                return false;
            // The save dialog then finds the reserved file: replacing it is what was asked.
            host.dialogs().setForce(true);
            if (!host.exportCloudPlan(plan, target, error))
                return false;
            reservation.keep();
            return true;
        },
        [&](PlanHost &) { standardOutput() << target << '\n'; });
}
