// The network manager against yrcloud on loopback, each figure a ratio taken in one run:
// opening a cloud plan of 200 files of 256 KiB (from the open call to state 1 and every file
// present) against `curl --parallel --parallel-max 4` fetching the same 200 addresses (goal at
// most 1.3 times); saving after 50 of those files changed (from the save call, made once the
// watcher has reported changes, to "savePlanStatus(1, …)") against curl uploading the
// same 50 files, signed, 4 at a time (goal at most 1.3 times); and the peak memory growth while
// a 1 GiB file goes up and comes down (goal under 64 MiB).
// Run: build-bench/bench/bench_netcloud [rounds]
#include "netmanager/yrfiletransfer.h"
#include "netmanager/yrhttpnetworkmanager.h"
#include "plandata/yrplandata.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/yrteachingplanoperate.h"
#include "yrcloudprocess.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const int kFiles = 200;
const int kChanged = 50;
const int kFileSize = 256 * 1024;
const qint64 kLargeSize = qint64(1) << 30;

QTextStream out(stdout);

// Runs the event loop until done() or timeoutMs; whether done() came true. The loop sleeps
// between events, so that waiting takes no core from the transfers it waits for.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 600000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    tick.start(2);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// One teacher's application with a teaching-plan root of its own.
struct Host
{
    explicit Host(YRHttpNetWorkManager *net) : resources(net), operate(&data, net, &resources)
    {
        data.initTeachingPlanAttr();
        QObject::connect(&operate, &YRTeachingPlanOperate::signalTeachingPlanOperateState,
                         [this](int state) { states.append(state); });
        QObject::connect(&operate, &YRTeachingPlanOperate::signalCefRunJavaScript,
                         [this](const QString &statement) {
                             if (statement.startsWith(QLatin1String("savePlanStatus(")))
                                 saveStatus = statement.mid(15, 1).toInt();
                         });
        waitFor([this] { return resources.IsConnectedWithNet(); });
    }
    QString stepDir() const
    {
        const QJsonObject document = QJsonDocument::fromJson(data.getJson().toUtf8()).object();
        return data.getTeachingPlanDir() + QLatin1Char('/') +
               document.value("steps")
                   .toArray()
                   .first()
                   .toObject()
                   .value("attr")
                   .toObject()
                   .value("stepId")
                   .toString();
    }
    bool save()
    {
        saveStatus = -1;
        operate.saveTeachingPlan();
        return waitFor([this] { return saveStatus >= 0; }) && saveStatus == 1;
    }

    struct Profile
    {
        Profile() { qputenv("ALLUSERSPROFILE", dir.path().toUtf8()); }
        QTemporaryDir dir;
    } profile;
    YRPlanData data;
    YRResourceManage resources;
    YRTeachingPlanOperate operate;
    QList<int> states;
    int saveStatus = -1;
};

struct CloudPlan
{
    QString jsonPath;
    int planId = -1;
    QStringList names; // the files, in the first step
    QString folderKey; // plan/UID/…/GUID/STEP/
};

// A plan of kFiles files, put in the cloud by a first host.
bool makePlan(YRHttpNetWorkManager *net, CloudPlan *plan)
{
    Host host(net);
    if (!host.operate.createTeachingPlan())
        return false;
    const QString step = host.stepDir();
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QStringLiteral("file%1.bin").arg(i);
        if (!writeFile(step + QLatin1Char('/') + name, randomBytes(kFileSize)) ||
            !host.operate.addLocalFile(step + QLatin1Char('/') + name, 0) ||
            !host.operate.addLocalFile(step + QLatin1Char('/') + name, 100))
            return false;
        plan->names.append(name);
    }
    if (!waitFor([&] { return !host.resources.hasUploadingFile(); }) || !host.save())
        return false;
    const QString root = host.data.getTeachingPlanRoot() + QLatin1Char('/');
    plan->jsonPath = host.data.getTeachingPlanDir().mid(root.size()) + "/teachpkg.json";
    plan->planId = host.operate.getId();
    plan->folderKey = "plan/" + step.mid(root.size()) + QLatin1Char('/');
    host.operate.closeTeachingPlan();
    return true;
}

// Opens the plan in host; ms from the open call to state 1 and every file present.
double openMs(Host &host, const CloudPlan &plan)
{
    QElapsedTimer timer;
    timer.start();
    const QString id = QString::number(plan.planId);
    host.operate.analysisCloudTeachingPlan(plan.jsonPath, id, "", "", "5.0", "bench");
    host.operate.openCloudTeachingPlan(plan.jsonPath, id);
    if (!waitFor([&] { return host.states.contains(TPOS_Success_Open); }))
        return -1;
    host.operate.downloadResourceFromJson();
    const QString step = host.stepDir();
    const bool all = waitFor([&] {
        return !host.resources.hasDownloadingFile() &&
               std::all_of(plan.names.cbegin(), plan.names.cend(),
                           [&](const QString &name) { return QFile::exists(step + "/" + name); });
    });
    return all ? timer.nsecsElapsed() / 1e6 : -1;
}

double curlMs(const QStringList &config)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("curl.cfg"));
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    file.write(config.join('\n').toUtf8());
    file.close();
    QElapsedTimer timer;
    timer.start();
    QProcess curl;
    curl.start("curl",
               {"--parallel", "--parallel-max", "4", "--fail", "-s", "-K", file.fileName()});
    curl.waitForFinished(-1);
    return curl.exitCode() == 0 ? timer.nsecsElapsed() / 1e6 : -1;
}

QString member(const QJsonObject &object, const QStringList &path)
{
    QJsonValue value = object;
    for (const QString &key : path)
        value = value.toObject().value(key);
    return value.toString();
}

QString objectUrl(const QUrl &store, const QString &bucket, const QString &key)
{
    return store.toString() + QLatin1Char('/') + bucket + QLatin1Char('/') + key;
}

// The peak resident size (VmHWM) or the current one (VmRSS) of this process, in KiB.
qint64 statusKiB(const char *field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// In a child process of its own, so that the peak starts clean: uploads and downloads a
// large file through a manager signed in with the arguments; prints the growth in KiB.
int memoryChild(const QStringList &arguments)
{
    YRHttpNetWorkManager net;
    QJsonObject session;
    QObject::connect(&net, &YRHttpNetWorkManager::signInFinished,
                     [&](bool, const QJsonObject &answer) { session = answer; });
    net.signIn(QUrl(arguments.at(2)), arguments.at(3));
    if (!waitFor([&] { return !session.isEmpty(); }))
        return 1;
    auto *transfer = qobject_cast<YRFileTransfer *>(net.getTransferObject());
    const QString bucket = member(session, {"ResourceDomain", "localUpload", "bucket"});
    const QString key = "plan/" + member(session, {"uid"}) + "/large/large.bin";
    const qint64 baseline = statusKiB("VmRSS:");
    int uploaded = -1;
    bool downloaded = false;
    QObject::connect(transfer, &YRFileTransfer::signalUploadFinished,
                     [&](int code) { uploaded = code; });
    QObject::connect(transfer, &YRFileTransfer::signalDownloadFinished,
                     [&](bool ok) { downloaded = ok; });
    transfer->uploadFile(
        {{"localPath", arguments.at(4)}, {"bucketName", bucket}, {"remotePath", "/" + key}});
    if (!waitFor([&] { return uploaded >= 0; }) || uploaded != 0)
        return 2;
    transfer->downloadFile(
        {{"url", objectUrl(QUrl(member(session, {"storage", "endpoint"})), bucket, key)},
         {"dest", arguments.at(5)}});
    if (!waitFor([&] { return downloaded; }) ||
        QFileInfo(arguments.at(5)).size() != QFileInfo(arguments.at(4)).size())
        return 3;
    out << statusKiB("VmHWM:") - baseline << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules("*.debug=false\nyrdata.*=false\nyrnetwork.*=false");
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("--memory-child"))
        return memoryChild(arguments);
    const int rounds = qMax(1, arguments.value(1).toInt());

    YRCloudProcess cloud;
    if (!cloud.start()) {
        out << cloud.errorString() << Qt::endl;
        return 1;
    }
    const YRCloudProcess::User user = cloud.addUser("bench");
    YRHttpNetWorkManager net;
    QJsonObject session;
    QObject::connect(&net, &YRHttpNetWorkManager::signInFinished,
                     [&](bool, const QJsonObject &answer) { session = answer; });
    net.signIn(cloud.url(), user.token);
    if (!waitFor([&] { return !session.isEmpty(); }))
        return 1;
    YRHttpNetWorkManager::applySessionToApplication(session);
    const QString bucket = member(session, {"ResourceDomain", "localUpload", "bucket"});
    auto *transfer = qobject_cast<YRFileTransfer *>(net.getTransferObject());

    CloudPlan plan;
    if (!makePlan(&net, &plan)) {
        out << "could not put the plan in the cloud" << Qt::endl;
        return 1;
    }

    QVector<double> open, curlGet, save, curlPut;
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir fetched;
        QStringList getConfig;
        for (const QString &name : plan.names)
            getConfig << QStringLiteral("url = \"%1?sign=%2\"\noutput = \"%3\"")
                             .arg(objectUrl(cloud.url(), bucket, plan.folderKey + name),
                                  transfer->getSign(QString()), fetched.filePath(name));
        curlGet.append(curlMs(getConfig));

        Host host(&net);
        open.append(openMs(host, plan));

        // 50 files changed on disk: the watcher sends them, the save waits for them. The clock
        // starts at the save call, made at the first look after the watcher has reported a
        // change; the reports come in one burst, so by then the first uploads are under way.
        QVector<QByteArray> changed;
        for (int i = 0; i < kChanged; ++i)
            changed.append(randomBytes(kFileSize));
        const QString step = host.stepDir();
        QStringList putConfig;
        for (int i = 0; i < kChanged; ++i) {
            const QString path = step + QLatin1Char('/') + plan.names.at(i);
            writeFile(path, changed.at(i));
            putConfig << QStringLiteral("upload-file = \"%1\"\nurl = \"%2\"")
                             .arg(path, objectUrl(cloud.url(), bucket,
                                                  plan.folderKey + plan.names.at(i)));
        }
        waitFor([&] { return host.resources.hasUploadingFile(); }, 10000);
        QElapsedTimer timer;
        timer.start();
        save.append(host.save() ? timer.nsecsElapsed() / 1e6 : -1);
        // Signed as the manager signs uploads: headers only, the body unsigned.
        putConfig << QStringLiteral("aws-sigv4 = \"aws:amz:%1:s3\"\nuser = \"%2:%3\"\n"
                                    "header = \"x-amz-content-sha256: UNSIGNED-PAYLOAD\"")
                         .arg(member(session, {"storage", "region"}),
                              member(session, {"storage", "accessKeyId"}),
                              member(session, {"storage", "secretAccessKey"}));
        curlPut.append(curlMs(putConfig));
        host.operate.closeTeachingPlan();
    }
    out << QStringLiteral("open %1 files of 256 KiB: %2 ms vs curl %3 ms: %4x (goal <= 1.3)")
               .arg(kFiles)
               .arg(median(open), 0, 'f', 0)
               .arg(median(curlGet), 0, 'f', 0)
               .arg(median(open) / median(curlGet), 0, 'f', 2)
        << Qt::endl;
    out << QStringLiteral("save after %1 changed: %2 ms vs curl %3 ms: %4x (goal <= 1.3)")
               .arg(kChanged)
               .arg(median(save), 0, 'f', 0)
               .arg(median(curlPut), 0, 'f', 0)
               .arg(median(save) / median(curlPut), 0, 'f', 2)
        << Qt::endl;

    QTemporaryDir large;
    QFile file(large.filePath("large.bin"));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    const QByteArray block = randomBytes(1 << 20);
    for (qint64 written = 0; written < kLargeSize; written += block.size())
        file.write(block);
    file.close();
    QProcess child;
    child.start(arguments.first(), {"--memory-child", cloud.url().toString(), user.token,
                                    file.fileName(), large.filePath("back.bin")});
    child.waitForFinished(-1);
    const qint64 growth = child.readAllStandardOutput().trimmed().toLongLong();
    out << QStringLiteral("1 GiB up and down: peak memory growth %1 MiB (goal < 64)")
               .arg(growth / 1024.0, 0, 'f', 1)
        << Qt::endl;
    return 0;
}
