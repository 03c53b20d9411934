#ifndef YRPLAN_PLANFILES_H
#define YRPLAN_PLANFILES_H

#include "cliutil.h"
#include "plandata/yrplandata.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVector>

#include <memory>

// Where an identifier lies in a plan document.
struct RecordLocation
{
    enum Kind { Missing, Step, Task, Node, Ambiguous };

    Kind kind = Missing;
    QString id;
    QString stepId;
    int stepType = 0;      // code of the step that holds the record (or is it)
    QString taskId;        // the task that is or holds the record, as the document names it
    QString name;          // of the record itself
    QString taskDesc;      // of a task
    int listPosition = -1; // position among its siblings
};

// A plan named on the command line: a plan directory, its teachpkg.json, or a .yrtp package
// (read only: its document is read through the library's package reader, and nothing else of
// it is unpacked), loaded into a YRPlanData.
//
// The document reader gives every task a fresh identifier on each load, while the file keeps
// the one it was written with. So that a task keeps one identifier from one command to the
// next, a PlanFile shows and saves every task that came from the file under the identifier
// the file gives it, and translates it back with modelId() before the model is called.
class PlanFile
{
public:
    enum Access { ReadOnly, Editable };

    PlanFile();
    ~PlanFile();

    // Loads the plan named by argument. False with *error set for a missing or unreadable
    // file, a document that is not a usable plan, or a package opened for editing.
    bool open(const QString &argument, Access access, QString *error);

    IYRPlanData &data() { return model; }
    // The plan directory; for a package, a temporary one that holds only its document.
    const QString &planDir() const { return directory; }
    QString documentPath() const;
    bool isPackage() const { return !packagePath.isEmpty(); }
    // Where the plan is, as the user knows it: its directory, or the package.
    QString location() const { return isPackage() ? packagePath : directory; }
    // The document as it is stored, before the model read it.
    const QJsonObject &storedDocument() const { return stored; }
    // A transfer or question record of the model as the user should see it: for a package,
    // "dest" is the path inside the plan rather than one in a temporary directory.
    QJsonObject shownRecord(QJsonObject record) const;

    // The current tree as a document, tasks under the identifiers the file gives them.
    QJsonObject document() const;
    // The same as indented text, the form in which it is saved.
    QString documentText() const;
    // The identifier under which the model knows the record that the document calls id.
    QString modelId(const QString &id) const;
    // Where id lies in document().
    RecordLocation locate(const QString &id) const;
    // Every step, task and node of document(), in document order.
    QVector<RecordLocation> records() const;

    // Writes documentText() to the plan's teachpkg.json (atomically, by the model).
    bool save(QString *error);

private:
    bool openPackage(const QFileInfo &package, QString *error);
    void rememberStoredTaskIds();

    YRPlanData model;
    QString directory;
    QString packagePath;
    QJsonObject stored;
    std::unique_ptr<QTemporaryDir> documentCopy;
    QHash<QString, QString> modelToStored;
    QHash<QString, QString> storedToModel;
};

// Documents the PLAN argument of a command that reads or edits a plan.
void addPlanArgument(SubcommandLine &line, PlanFile::Access access);
// Opens the positional argument at position as a plan; prints the failure and sets *exitCode.
bool openPlanArgument(const SubcommandLine &line, int position, PlanFile::Access access,
                      PlanFile *plan, int *exitCode);

// Documents --root DIR, which keeps the teaching plans under DIR instead of ALLUSERSPROFILE.
void addRootOption(SubcommandLine &line);
// Applies --root when it is given: the library reads the root from ALLUSERSPROFILE at each use,
// so the variable is set for the process before anything reads it. False with *exitCode set
// for an empty DIR.
bool applyRootOption(const SubcommandLine &line, int *exitCode);

// Creates a new plan with fresh attributes and a first step, saved under the teaching-plan root
// at root/<user or "local">/<day stamp>/<GUID>. Returns the plan directory, or an empty string
// with *error set.
QString createPlan(IYRPlanData &plan, const QString &name, QString *error);

// Unpacks a .yrtp package into directory, which must not exist or be empty, through the
// library's checked reader; nothing is left behind on failure.
bool unpackPackage(const QString &package, const QString &directory, QString *error);

// Whether package may be written as the package of the plan directory: not inside it, and a
// new name or a regular file. False with *error set otherwise.
bool isPackageTarget(const QString &directory, const QString &package, QString *error);

// Packs a plan directory (one that holds a valid teachpkg.json) into a stored zip package.
bool packPlanDirectory(const QString &directory, const QString &package, QString *error);

// Writes the readable tree of a plan: attributes, steps, tasks and nodes with their ids.
void printPlanTree(const PlanFile &plan, QTextStream &out);

// Every step, task and node of a plan document, in document order.
QVector<RecordLocation> recordsOf(const QJsonObject &document);

// The display name of a node object of a document, which its kind keeps under its own key.
QString nodeDisplayName(const QJsonObject &node);

// The teachpkg.json of a plan directory.
QString documentPathOf(const QString &planDirectory);

#endif // YRPLAN_PLANFILES_H
