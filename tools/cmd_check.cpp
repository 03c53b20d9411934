// yrplan check: what a support engineer runs first on a plan or package handed to them. It
// reads, and never writes: a package goes through the library's checked reader without
// unpacking anything.

#include "cliutil.h"
#include "commands.h"
#include "planfiles.h"

#include "interfaces/cyrcommonutils.h"
#include "interfaces/planpackage.h"
#include "plandata/planpaths.h"
#include "plandata/yrplandata.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSet>

#include <memory>

namespace {

// The files of a plan, wherever they are: in a directory or in a package.
class PlanSource
{
public:
    virtual ~PlanSource() = default;
    // Path inside the plan ("/s1/a.png") -> size, for every regular file.
    virtual QMap<QString, qint64> files() const = 0;
    // The MD5 of a file as lower-case hex; empty when it cannot be read.
    virtual QString md5(const QString &path) = 0;
    // What must not be there: refused package entries, links and special files.
    virtual QStringList refusals() const = 0;
    virtual QByteArray document() const = 0;
    // The plan directory the document is read in (the model names the plan after it); for a
    // package, one named by the document's GUID, where it would be unpacked. Never written.
    virtual QString directory(const QJsonObject &document) const = 0;
};

class DirectorySource : public PlanSource
{
public:
    explicit DirectorySource(const QString &directory) : m_directory(directory)
    {
        QDirIterator it(directory,
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QFileInfo info = it.fileInfo();
            const QString inside = path.mid(directory.size());
            if (info.isSymLink())
                m_refusals << QStringLiteral("%1 is a symbolic link").arg(inside);
            else if (info.isDir())
                continue;
            else if (!info.isFile())
                m_refusals << QStringLiteral("%1 is not a regular file").arg(inside);
            else
                m_files.insert(inside, info.size());
        }
        QFile file(directory + QLatin1String("/teachpkg.json"));
        if (!QFileInfo(file.fileName()).isSymLink() && file.open(QIODevice::ReadOnly))
            m_document = file.readAll();
    }
    QMap<QString, qint64> files() const override { return m_files; }
    QString md5(const QString &path) override
    {
        return CYrCommonUtils::getFileMD5(m_directory + path);
    }
    QStringList refusals() const override { return m_refusals; }
    QByteArray document() const override { return m_document; }
    QString directory(const QJsonObject &) const override { return m_directory; }

private:
    QString m_directory;
    QMap<QString, qint64> m_files;
    QStringList m_refusals;
    QByteArray m_document;
};

class PackageSource : public PlanSource
{
public:
    explicit PackageSource(const QString &package) : m_reader(package) {}
    bool open(QString *error)
    {
        if (!m_reader.open(error))
            return false;
        const QVector<YRPlanPackage::PackageEntry> &entries = m_reader.entries();
        for (int i = 0; i < entries.size(); ++i) {
            if (!entries.at(i).isDirectory && !entries.at(i).path.isEmpty())
                m_index.insert(QLatin1Char('/') + entries.at(i).path, i);
        }
        return true;
    }
    QMap<QString, qint64> files() const override
    {
        QMap<QString, qint64> files;
        for (auto it = m_index.cbegin(); it != m_index.cend(); ++it)
            files.insert(it.key(), m_reader.entries().at(it.value()).size);
        return files;
    }
    QString md5(const QString &path) override
    {
        QCryptographicHash hash(QCryptographicHash::Md5);
        const bool read = m_reader.readEntry(
            m_index.value(path, -1),
            [&hash](const char *data, qint64 n) {
                hash.addData(data, int(n));
                return true;
            },
            nullptr);
        return read ? QString::fromLatin1(hash.result().toHex()) : QString();
    }
    QStringList refusals() const override { return m_reader.refusals(); }
    QByteArray document() const override { return m_reader.document(); }
    QString directory(const QJsonObject &document) const override
    {
        const QString guid = document.value(QStringLiteral("description"))
                                 .toObject()
                                 .value(QStringLiteral("GUID"))
                                 .toString();
        return QLatin1Char('/') +
               (YRPlanPaths::isPlainFileName(guid) ? guid : QStringLiteral("plan"));
    }

private:
    YRPlanPackage::PackageReader m_reader;
    QMap<QString, int> m_index;
};

// One line of the report.
struct Finding
{
    QString kind; // document, file, thumbnail, ebook, question, unnamed, refused
    QString path;
    QString text;
    bool problem = false;

    QJsonObject toJson() const
    {
        return QJsonObject{{QStringLiteral("kind"), kind},
                           {QStringLiteral("path"), path},
                           {QStringLiteral("status"), text},
                           {QStringLiteral("problem"), problem}};
    }
};

class PlanCheck
{
public:
    explicit PlanCheck(PlanSource &source) : m_source(source) {}

    QVector<Finding> run()
    {
        for (const QString &refusal : m_source.refusals())
            add(QStringLiteral("refused"), QString(), refusal, true);
        if (checkDocument()) {
            checkNamedFiles();
            checkPathsThatLeaveThePlan();
            reportUnnamedFiles();
        }
        return m_findings;
    }

private:
    void add(const QString &kind, const QString &path, const QString &text, bool problem)
    {
        m_findings.append({kind, path, text, problem});
    }

    bool checkDocument()
    {
        const QByteArray text = m_source.document();
        const QString name = QStringLiteral("/teachpkg.json");
        QJsonParseError parseError;
        const QJsonDocument parsed = QJsonDocument::fromJson(text, &parseError);
        if (text.isEmpty() || !parsed.isObject()) {
            add(QStringLiteral("document"), name, QStringLiteral("missing or not a JSON object"),
                true);
            return false;
        }
        m_stored = parsed.object();
        m_plan.setTeachingPlanDir(m_source.directory(m_stored));
        if (!m_plan.setJson(QString::fromUtf8(text))) {
            add(QStringLiteral("document"), name,
                QStringLiteral("not a usable plan (no description, an unsupported version or "
                               "an unknown step type)"),
                true);
            return false;
        }
        const bool same = m_plan.getJson() == QString::fromUtf8(text);
        add(QStringLiteral("document"), name,
            QStringLiteral("readable, version %1, %2")
                .arg(m_plan.getTeachingPlanAttr().strDocumentVersion,
                     same ? QStringLiteral("writes back identically")
                          : QStringLiteral("writes back in another form")),
            false);
        return true;
    }

    void checkNamedFiles()
    {
        const QMap<QString, qint64> files = m_source.files();
        const auto check = [&](const QString &kind, const QJsonObject &record) {
            const QString path = record.value(QStringLiteral("localPath")).toString();
            m_named.insert(path);
            if (!files.contains(path)) {
                add(kind, path, QStringLiteral("missing"), true);
                return;
            }
            QStringList status{QStringLiteral("present, %1 bytes").arg(files.value(path))};
            bool problem = false;
            const QString recordedSize = record.value(QStringLiteral("fileSize")).toString();
            if (!recordedSize.isEmpty() && recordedSize.toLongLong() != files.value(path)) {
                status << QStringLiteral("recorded %1 bytes").arg(recordedSize);
                problem = true;
            }
            const QString recordedMd5 = record.value(QStringLiteral("fileMD5")).toString();
            if (!recordedMd5.isEmpty()) {
                const bool same = m_source.md5(path) == recordedMd5;
                status
                    << (same ? QStringLiteral("MD5 as recorded")
                             : QStringLiteral("MD5 differs from the recorded %1").arg(recordedMd5));
                problem = problem || !same;
            }
            add(kind, path, status.join(QStringLiteral(", ")), problem);
        };
        for (const QJsonObject &record : m_plan.getJsonFiles()) {
            const QString type = record.value(QStringLiteral("nodeType")).toString();
            check(type == QLatin1String("fileThumb") ? QStringLiteral("thumbnail") : type, record);
        }
        for (const QJsonObject &record : m_plan.getJsonQuestions())
            check(QStringLiteral("question"), record);
    }

    // The reader drops the files of nodes whose paths leave the plan; they are named here.
    void checkPathsThatLeaveThePlan()
    {
        const auto checkNodes = [this](const QJsonArray &nodes) {
            for (const QJsonValue &value : nodes) {
                const QJsonObject node = value.toObject();
                const QJsonObject content = node.value(QStringLiteral("nodeContent")).toObject();
                for (const char *key : {"localPath", "localThumb"}) {
                    const QString path = content.value(QLatin1String(key)).toString();
                    if (!path.isEmpty() && !YRPlanPaths::isPlanRelative(path))
                        add(QStringLiteral("refused"), path,
                            QStringLiteral("node %1 names a path that leaves the plan")
                                .arg(node.value(QStringLiteral("nodeId")).toString()),
                            true);
                }
            }
        };
        const QJsonArray steps = m_stored.value(QStringLiteral("steps")).toArray();
        for (const QJsonValue &step : steps) {
            checkNodes(step.toObject().value(QStringLiteral("nodes")).toArray());
            const QJsonArray tasks = step.toObject().value(QStringLiteral("tasks")).toArray();
            for (const QJsonValue &task : tasks)
                checkNodes(task.toObject().value(QStringLiteral("nodes")).toArray());
        }
    }

    // Besides the named files a plan keeps its document, its markers, its settings and the
    // small copies of its images.
    void reportUnnamedFiles()
    {
        QSet<QString> companions = {
            QStringLiteral("/teachpkg.json"), QStringLiteral("/teachpkg.json.notsave"),
            QStringLiteral("/teachpkg.json.localnew"), QStringLiteral("/planinfo.ini")};
        for (const QString &path : qAsConst(m_named)) {
            const QString small = CYrCommonUtils::smallCopyPath(path);
            if (!small.isEmpty())
                companions.insert(small);
        }
        const QMap<QString, qint64> files = m_source.files();
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            if (!m_named.contains(it.key()) && !companions.contains(it.key()))
                add(QStringLiteral("unnamed"), it.key(),
                    QStringLiteral("%1 bytes; no node names it").arg(it.value()), false);
        }
    }

    PlanSource &m_source;
    YRPlanData m_plan;
    QJsonObject m_stored;
    QSet<QString> m_named;
    QVector<Finding> m_findings;
};

std::unique_ptr<PlanSource> openSource(const QString &argument, QString *error)
{
    const QFileInfo info(argument);
    if (info.isDir())
        return std::make_unique<DirectorySource>(QDir::cleanPath(info.absoluteFilePath()));
    if (info.isFile() && info.fileName() == QLatin1String("teachpkg.json"))
        return std::make_unique<DirectorySource>(QDir::cleanPath(info.absolutePath()));
    if (info.isFile()) {
        auto package = std::make_unique<PackageSource>(info.absoluteFilePath());
        if (package->open(error))
            return package;
        *error = QStringLiteral("%1: %2").arg(argument, *error);
        return nullptr;
    }
    *error = QStringLiteral("no such plan or package: %1").arg(argument);
    return nullptr;
}

} // namespace

bool checkPlan(const QString &argument, QStringList *problems, QString *error)
{
    const std::unique_ptr<PlanSource> source = openSource(argument, error);
    if (!source)
        return false;
    for (const Finding &finding : PlanCheck(*source).run()) {
        if (finding.problem)
            *problems << QStringLiteral("%1 %2 %3").arg(finding.kind, finding.path, finding.text);
    }
    return true;
}

int runCheckCommand(const QStringList &arguments)
{
    SubcommandLine line(
        QStringLiteral("check"),
        QStringLiteral("Checks a plan or a package without changing anything, and prints one "
                       "line for each finding: the document (readable, its version, whether "
                       "writing it back gives the same text), every file, thumbnail and "
                       "question the document names (present, size and MD5 against what it "
                       "records), files that no node names, and what is refused (package "
                       "entries, links, paths that leave the plan).\nExit status 0 when all is "
                       "well, 1 when anything is wrong."));
    line.addPositional(QStringLiteral("PLAN"),
                       QStringLiteral("A plan directory, its teachpkg.json, or a .yrtp package "
                                      "(read without unpacking it)."));
    line.addOption(QStringLiteral("json"),
                   QStringLiteral("Print one JSON object: {\"plan\", \"ok\", \"findings\": "
                                  "[{\"kind\", \"path\", \"status\", \"problem\"}]}."));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 1, 1, &exitCode))
        return exitCode;
    QString error;
    const std::unique_ptr<PlanSource> source = openSource(line.positionals().constFirst(), &error);
    if (!source)
        return line.fail(error);

    const QVector<Finding> findings = PlanCheck(*source).run();
    const bool ok = std::none_of(findings.cbegin(), findings.cend(),
                                 [](const Finding &finding) { return finding.problem; });
    if (line.isSet(QStringLiteral("json"))) {
        QJsonArray array;
        for (const Finding &finding : findings)
            array.append(finding.toJson());
        printJsonLine(QJsonObject{{QStringLiteral("plan"), line.positionals().constFirst()},
                                  {QStringLiteral("ok"), ok},
                                  {QStringLiteral("findings"), array}});
    } else {
        for (const Finding &finding : findings)
            standardOutput() << (finding.problem ? "PROBLEM " : "ok      ")
                             << QStringLiteral("%1 %2").arg(finding.kind, -9).arg(finding.path)
                             << (finding.path.isEmpty() ? "" : "  ") << finding.text << '\n';
        standardOutput() << (ok ? "all well" : "something is wrong") << '\n';
    }
    return ok ? ExitSuccess : ExitFailure;
}
