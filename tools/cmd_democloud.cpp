// demo --cloud: the signed-in road through the plan controller, against a yrcloud of its own.

#include "cliutil.h"
#include "cloudaccount.h"
#include "cloudserver.h"
#include "commands.h"
#include "networkactivity.h"
#include "plandata/planpaths.h"
#include "planfiles.h"
#include "planhost.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <memory>

namespace {

const QLatin1String kQuestionId("101");
const QLatin1String kPictureName("figure.png");

// What every copy of the demonstration plan must hold, byte for byte: the files added to its
// first step (by name), the question's content and its picture.
struct Expected
{
    QMap<QString, QByteArray> files;
    QJsonObject questionContent;
    QByteArray picture;
};

// Reproducible content that no text conversion or compression would leave as it is.
QByteArray demoBytes(int words, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(words * int(sizeof(quint32)), Qt::Uninitialized);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), words);
    return bytes;
}

QByteArray pictureBytes()
{
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool writeBytes(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
        file.write(bytes) == bytes.size())
        return true;
    *error = QStringLiteral("cannot write %1").arg(path);
    return false;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

// The first step of the plan that host has open.
QString firstStepId(PlanHost &host)
{
    for (const RecordLocation &record :
         recordsOf(QJsonDocument::fromJson(host.planData().getJson().toUtf8()).object())) {
        if (record.kind == RecordLocation::Step)
            return record.id;
    }
    return QString();
}

// Copies source into the current step of the open plan as a host copying a file does, telling
// the controller when the copy begins and when it is complete.
bool addLocalFile(PlanHost &host, const QString &source, QString *error)
{
    const QString dest = host.controller().getCurrentTeachingPlanStepDir() + QLatin1Char('/') +
                         QFileInfo(source).fileName();
    if (!QDir().mkpath(QFileInfo(dest).absolutePath()) ||
        !host.controller().addLocalFile(dest, 0) || !QFile::copy(source, dest) ||
        !host.controller().addLocalFile(dest, 100)) {
        *error = QStringLiteral("cannot add %1 to the plan").arg(source);
        return false;
    }
    return true;
}

// What in the copy of the plan in directory differs from what it must hold: the names of the
// files, and "question" or "picture".
QStringList differencesOf(const QString &directory, const QString &stepId, const Expected &expected)
{
    QStringList differing;
    for (auto it = expected.files.cbegin(); it != expected.files.cend(); ++it) {
        if (readBytes(directory + QLatin1Char('/') + stepId + QLatin1Char('/') + it.key()) !=
            it.value())
            differing << it.key();
    }
    // The question's content where its node says; the picture where its address put it.
    PlanFile copy;
    QString error;
    QJsonObject content;
    if (copy.open(directory, PlanFile::ReadOnly, &error)) {
        for (const QJsonObject &question : copy.data().getJsonQuestions()) {
            QString path;
            if (question.value(QLatin1String("questionId")).toString() == kQuestionId &&
                YRPlanPaths::planFilePath(
                    directory, question.value(QLatin1String("localPath")).toString(), &path))
                content = QJsonDocument::fromJson(readBytes(path)).object();
        }
    }
    if (content.isEmpty() || content != expected.questionContent)
        differing << QStringLiteral("question");
    QDirIterator pictures(directory, {kPictureName}, QDir::Files, QDirIterator::Subdirectories);
    if (!pictures.hasNext() || readBytes(pictures.next()) != expected.picture)
        differing << QStringLiteral("picture");
    return differing;
}

// The demonstration: its temporary directory, the yrcloud it runs, the account it signs in
// with, and what every copy of its plan must hold.
class CloudDemo
{
public:
    explicit CloudDemo(const SubcommandLine &line)
        : m_line(line), m_trace(line.isSet(QStringLiteral("trace")))
    {}

    int run();

private:
    bool startCloud();
    bool addUserAndQuestion();
    bool saveNewPlan();
    bool openChangeAndSave(PlanHost &host, CloudPlan *plan);
    bool exportImportAndDelete(PlanHost &host, const CloudPlan &plan);
    // Prints "<what>: N files, the question and its picture, equal: yes" for a copy of the plan;
    // false when it differs.
    bool reportCopy(const QString &what, const QString &directory);
    // A host signed in to the demonstration's yrcloud, with its teaching-plan root in folder.
    std::unique_ptr<PlanHost> signedInHost(const QString &folder);
    QString path(const QString &name) const { return m_workspace.filePath(name); }

    const SubcommandLine &m_line;
    bool m_trace;
    QTextStream &m_out = standardOutput();
    QString m_error;
    // Declared first: removed last, after the server has stopped.
    QTemporaryDir m_workspace;
    std::unique_ptr<CloudServer> m_server;
    CloudAccount m_account;
    Expected m_expected;
    QString m_stepId;
    int m_planId = -1;
    bool m_allEqual = true;
};

int CloudDemo::run()
{
    if (!m_workspace.isValid())
        return m_line.fail(QStringLiteral("cannot create a temporary directory"));
    if (!startCloud() || !addUserAndQuestion() || !saveNewPlan())
        return m_line.fail(m_error);
    {
        std::unique_ptr<PlanHost> host = signedInHost(QStringLiteral("second"));
        CloudPlan plan;
        if (!host || !openChangeAndSave(*host, &plan) || !exportImportAndDelete(*host, plan))
            return m_line.fail(m_error);
    }
    const bool stopped = m_server->stop();
    m_out << "stopped   yrcloud" << (stopped ? "" : " (it did not end cleanly)") << '\n';
    m_out << "equal: " << yesNo(m_allEqual) << '\n';
    return m_allEqual && stopped ? ExitSuccess : ExitFailure;
}

bool CloudDemo::startCloud()
{
    const QString executable = m_line.isSet(QStringLiteral("yrcloud"))
                                   ? m_line.value(QStringLiteral("yrcloud"))
                                   : CloudServer::besideThisProgram();
    if (executable.isEmpty()) {
        m_error = QStringLiteral("there is no yrcloud beside yrplan (%1): --yrcloud names one")
                      .arg(QCoreApplication::applicationDirPath());
        return false;
    }
    m_server = std::make_unique<CloudServer>(executable, path(QStringLiteral("cloud")),
                                             path(QStringLiteral("yrcloud.log")));
    if (!m_server->start(&m_error))
        return false;
    m_out << "cloud     yrcloud serving at " << m_server->url().toString() << '\n';
    return true;
}

bool CloudDemo::addUserAndQuestion()
{
    QByteArray output;
    if (!m_server->run({QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("teacher")},
                       &output, &m_error))
        return false;
    const QJsonObject user = QJsonDocument::fromJson(output).object();
    m_account.service = m_server->url();
    m_account.token = user.value(QLatin1String("token")).toString();
    m_out << "user      teacher, uid " << user.value(QLatin1String("uid")).toString() << '\n';

    m_expected.questionContent = {
        {QStringLiteral("stem"), QStringLiteral("图中阴影部分占几分之几？")},
        {QStringLiteral("options"), QJsonArray{QStringLiteral("1/2"), QStringLiteral("1/4")}},
        {QStringLiteral("answer"), 1}};
    m_expected.picture = pictureBytes();
    const QJsonObject question{{QStringLiteral("questionId"), kQuestionId},
                               {QStringLiteral("questionType"), QStringLiteral("single")},
                               {QStringLiteral("questionJson"), m_expected.questionContent},
                               {QStringLiteral("pictures"), QJsonArray{kPictureName}}};
    const QString description = path(QStringLiteral("question/question.json"));
    if (!writeBytes(path(QStringLiteral("question/")) + kPictureName, m_expected.picture,
                    &m_error) ||
        !writeBytes(description, QJsonDocument(question).toJson(), &m_error) ||
        !m_server->run({QStringLiteral("question"), QStringLiteral("add"), description}, &output,
                       &m_error))
        return false;
    m_out << "question  " << kQuestionId << " with one picture, in the question bank\n";
    return true;
}

std::unique_ptr<PlanHost> CloudDemo::signedInHost(const QString &folder)
{
    // The root is read when the host makes its plan data.
    qputenv("ALLUSERSPROFILE", QFile::encodeName(path(folder)));
    auto host = std::make_unique<PlanHost>(m_trace, m_account);
    if (!host->signIn(&m_error))
        return nullptr;
    m_out << "signed in with the teacher's token, teaching plans in " << path(folder) << '\n';
    return host;
}

bool CloudDemo::saveNewPlan()
{
    std::unique_ptr<PlanHost> host = signedInHost(QStringLiteral("first"));
    if (!host || !host->createPlan(&m_error))
        return false;
    YRTeachingPlanOperate &controller = host->controller();
    // Named as the host names the plan open in the editor.
    controller.renameTeachingPlan(QString(), QStringLiteral("云端演示教案"), QString(),
                                  QStringLiteral("1"));
    m_stepId = firstStepId(*host);
    controller.setCurrentStepOrTask(m_stepId, QString());
    m_out << "created   " << host->planDirectory() << '\n';

    m_expected.files = {{QStringLiteral("课件.pptx"), demoBytes(96 * 1024, 1)},
                        {QStringLiteral("notes.txt"), "分数的意义：把单位“1”平均分成若干份。\n"},
                        {QStringLiteral("图片.png"), pictureBytes()}};
    for (auto it = m_expected.files.cbegin(); it != m_expected.files.cend(); ++it) {
        const QString source = path(QStringLiteral("sources/")) + it.key();
        if (!writeBytes(source, it.value(), &m_error) || !addLocalFile(*host, source, &m_error))
            return false;
        m_out << "added     " << it.key() << " (" << it.value().size() << " bytes)\n";
    }
    controller.appendNode(m_stepId, QString(),
                          QStringLiteral(R"({"nodeType":"question","nodeContent":{"chName":"分数",)"
                                         R"("questionId":"%1","questionType":"single"}})")
                              .arg(kQuestionId));
    m_out << "added     question " << kQuestionId << '\n';

    const int mark = host->networkActivity()->mark();
    QString api;
    if (!host->saveToCloud(&api, &m_error))
        return false;
    m_planId = controller.getId();
    m_out << "saved     to the cloud as plan " << m_planId << " (" << api << ", "
          << host->networkActivity()->count(NetworkEvent::Upload, QString(), mark, true)
          << " uploads)\n";
    controller.closeTeachingPlan();
    m_out << "closed    the plan\n";
    return true;
}

bool CloudDemo::openChangeAndSave(PlanHost &host, CloudPlan *plan)
{
    QVector<CloudPlan> plans;
    if (!host.listCloudPlans(&plans, &m_error) || !host.findCloudPlan(m_planId, plan, &m_error))
        return false;
    m_out << "listed    " << plans.size() << (plans.size() == 1 ? " plan" : " plans") << ": "
          << plan->id << " \"" << plan->title << "\"\n";
    if (!host.openCloudPlan(*plan, &m_error))
        return false;
    m_out << "opened    " << host.planDirectory() << " from the cloud\n";
    reportCopy(QStringLiteral("opened copy"), host.planDirectory());

    // Changed as the teacher changes it: a reflection, and one more file.
    host.controller().setIntrospection(QStringLiteral("学生对单位“1”理解较好。"));
    host.controller().setCurrentStepOrTask(m_stepId, QString());
    const QString added = QStringLiteral("补充练习.txt");
    m_expected.files.insert(added, "补充练习：用分数表示阴影部分。\n");
    const QString source = path(QStringLiteral("sources/")) + added;
    QString api;
    if (!writeBytes(source, m_expected.files.value(added), &m_error) ||
        !addLocalFile(host, source, &m_error) || !host.saveToCloud(&api, &m_error))
        return false;
    m_out << "changed   the reflection, and " << added << " added\n";
    m_out << "saved     again as plan " << host.controller().getId() << " (" << api << ")\n";
    if (host.controller().getId() != m_planId) {
        m_error = QStringLiteral("saving again made plan %1 instead of updating plan %2")
                      .arg(host.controller().getId())
                      .arg(m_planId);
        return false;
    }
    host.controller().closeTeachingPlan();
    return true;
}

bool CloudDemo::exportImportAndDelete(PlanHost &host, const CloudPlan &plan)
{
    const QString package = path(plan.title + QStringLiteral(".yrtp"));
    if (!host.exportCloudPlan(plan, package, &m_error))
        return false;
    m_out << "exported  " << package << " (" << QFileInfo(package).size() << " bytes)\n";
    const QString unpacked = path(QStringLiteral("unpacked"));
    if (!unpackPackage(package, unpacked, &m_error))
        return false;
    reportCopy(QStringLiteral("exported copy"), unpacked);

    if (!host.importPackage(package, &m_error))
        return false;
    const QString imported = host.planDirectory();
    m_out << "imported  " << imported << '\n';
    reportCopy(QStringLiteral("imported copy"), imported);
    RootedPlan rooted;
    if (!locateRootedPlan(imported, &rooted, &m_error) ||
        !host.deletePlan(rooted.jsonPath, &m_error))
        return false;

    QVector<CloudPlan> left;
    if (!host.deleteCloudPlan(plan, &m_error) || !host.listCloudPlans(&left, &m_error))
        return false;
    m_out << "deleted   cloud plan " << plan.id << " and the imported plan; the cloud lists "
          << left.size() << " plans\n";
    m_allEqual = m_allEqual && left.isEmpty();
    return true;
}

bool CloudDemo::reportCopy(const QString &what, const QString &directory)
{
    const QStringList differing = differencesOf(directory, m_stepId, m_expected);
    m_out << what << ": " << m_expected.files.size()
          << " files, the question and its picture, equal: " << yesNo(differing.isEmpty());
    if (!differing.isEmpty())
        m_out << " (differs: " << differing.join(QStringLiteral(", ")) << ')';
    m_out << '\n';
    m_allEqual = m_allEqual && differing.isEmpty();
    return differing.isEmpty();
}

} // namespace

int runCloudDemo(const SubcommandLine &line)
{
    return CloudDemo(line).run();
}
