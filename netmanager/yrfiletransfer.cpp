#include "netmanager/yrfiletransfer.h"

#include "netmanager/downloadjob_p.h"
#include "netmanager/jobqueue_p.h"
#include "netmanager/listdeletejob_p.h"
#include "netmanager/multipartuploadjob_p.h"
#include "netmanager/networkcontext_p.h"
#include "netmanager/storeprotocol_p.h"
#include "netmanager/uploadjob_p.h"
#include "netmanager/yrnetworkerror.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcTransfer, "yrnetwork.transfer")

namespace {

const int kDefaultParallelDownloads = 4;
const int kMostParallelDownloads = 6;
const int kParallelUploads = 4;
const qint64 kSignValiditySeconds = 24 * 60 * 60;

QString text(const QJsonObject &record, const char *key)
{
    return record.value(QLatin1String(key)).toString();
}

// A download target must be an absolute path that is a regular file or nothing yet: never a
// link, a directory, a device or a pipe.
bool isUsableTarget(const QString &dest)
{
    if (dest.isEmpty() || !QDir::isAbsolutePath(dest))
        return false;
    const QFileInfo info(dest);
    return !info.isSymLink() && (!info.exists() || info.isFile());
}

// A store key from a remote path or folder: no leading "/".
QString keyOf(const QString &path)
{
    QString key = path;
    while (key.startsWith(QLatin1Char('/')))
        key.remove(0, 1);
    return key;
}

} // namespace

YRFileTransfer::YRFileTransfer(NetworkContext *context, QObject *parent)
    : QObject(parent), m_context(context),
      m_downloads(new JobQueue(kDefaultParallelDownloads, this)),
      m_uploads(new JobQueue(kParallelUploads, this))
{
    connect(m_downloads, &JobQueue::jobStarted, this, [this](NetworkJob *job) {
        for (const QJsonObject &record : static_cast<DownloadJob *>(job)->records())
            emit signalDownloadStart(true, record);
    });
    connect(m_downloads, &JobQueue::drained, this, [this] { emit signalDownloadQueueEmpty(true); });
}

YRFileTransfer::~YRFileTransfer() = default;

void YRFileTransfer::setMaxParallelDownloads(int n)
{
    m_downloads->setLimit(qBound(1, n, kMostParallelDownloads));
}

bool YRFileTransfer::downloadFile(const QJsonObject &record)
{
    const QString dest = text(record, "dest");
    const QUrl url(text(record, "url"));
    if (!m_context->hasService()) {
        refuseDownload(record, "no session");
        return false;
    }
    if (!isUsableTarget(dest)) {
        refuseDownload(record, "\"dest\" is not an absolute path to a regular file");
        return false;
    }
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        refuseDownload(record, "\"url\" is not an http or https address");
        return false;
    }
    for (NetworkJob *queued : m_downloads->jobs()) {
        auto *job = static_cast<DownloadJob *>(queued);
        if (job->dest() != dest || job->hasEnded())
            continue;
        job->attach(record);
        if (m_downloads->isRunning(job))
            emit signalDownloadStart(true, record);
        return true;
    }
    auto *job = new DownloadJob(m_context, record);
    connect(job, &DownloadJob::progressed, this, [this, job](int percent) {
        for (const QJsonObject &each : job->records())
            emit signalDownloadProgress(each, percent, text(each, "fileType"));
    });
    connect(job, &DownloadJob::finished, this, [this, job](int code) {
        for (const QJsonObject &each : job->records())
            emit signalDownloadFinished(code == YRNE_Success, each);
    });
    m_downloads->enqueue(job);
    return true;
}

void YRFileTransfer::refuseDownload(const QJsonObject &record, const char *why)
{
    qCWarning(lcTransfer).noquote()
        << "YRFileTransfer::downloadFile refused:" << why << text(record, "dest");
    QTimer::singleShot(0, this, [this, record] {
        emit signalDownloadStart(false, record);
        emit signalDownloadFinished(false, record);
    });
}

bool YRFileTransfer::cancelDownload(const QString &cloudPath)
{
    return m_downloads->dropIf([&](NetworkJob *job) {
        return static_cast<DownloadJob *>(job)->hasCloudPath(cloudPath);
    }) > 0;
}

bool YRFileTransfer::stopDownload()
{
    m_downloads->dropIf([](NetworkJob *) { return true; });
    return true;
}

bool YRFileTransfer::uploadFile(const QJsonObject &record)
{
    const QFileInfo file(text(record, "localPath"));
    if (!m_context->hasService() || !m_context->hasStore()) {
        refuseUpload(record, YRNE_NotSignedIn, "no session with store credentials");
        return false;
    }
    if (text(record, "bucketName").isEmpty() || keyOf(text(record, "remotePath")).isEmpty()) {
        refuseUpload(record, YRNE_BadRecord, "no \"bucketName\" or \"remotePath\"");
        return false;
    }
    if (!file.isFile() || !file.isReadable()) {
        refuseUpload(record, YRNE_LocalFile, "\"localPath\" is not a readable file");
        return false;
    }
    startUpload(record);
    return true;
}

void YRFileTransfer::startUpload(const QJsonObject &record)
{
    UploadTarget target;
    target.localPath = text(record, "localPath");
    target.bucket = text(record, "bucketName");
    target.key = keyOf(text(record, "remotePath"));
    target.replace = record.value(QLatin1String("replace")).toBool(true);
    StoreUploadJob *job = nullptr;
    if (QFileInfo(target.localPath).size() > MultipartUploadJob::kThreshold)
        job = new MultipartUploadJob(m_context, record, target);
    else
        job = new PutObjectJob(m_context, record, target);
    connect(job, &StoreUploadJob::finished, this,
            [this, job](int code) { emit signalUploadFinished(code, job->record()); });
    m_uploads->enqueue(job);
}

void YRFileTransfer::refuseUpload(const QJsonObject &record, int code, const char *why)
{
    qCWarning(lcTransfer).noquote()
        << "YRFileTransfer::uploadFile refused:" << why << text(record, "localPath");
    QTimer::singleShot(0, this, [this, code, record] { emit signalUploadFinished(code, record); });
}

QString YRFileTransfer::getSign(const QString &bucket)
{
    if (!m_context->hasStore())
        return QString();
    const qint64 expires = QDateTime::currentSecsSinceEpoch() + kSignValiditySeconds;
    return StoreProtocol::downloadToken(m_context->store, bucket, expires);
}

int YRFileTransfer::deleteCloudFiles(const QString &bucket, const QString &folder)
{
    if (!m_context->hasStore())
        return YRNE_NotSignedIn;
    QString prefix = keyOf(folder);
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    if (bucket.isEmpty() || prefix.isEmpty()) {
        // An empty folder would name the whole bucket.
        qCWarning(lcTransfer) << "YRFileTransfer::deleteCloudFiles refused:" << bucket << folder;
        return YRNE_BadRecord;
    }
    ListDeleteJob job(m_context, bucket, prefix + QLatin1Char('/'));
    int result = YRNE_Timeout;
    QEventLoop loop;
    connect(&job, &ListDeleteJob::finished, &loop, [&](int code) {
        result = code;
        loop.quit();
    });
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (result != YRNE_Success)
        qCWarning(lcTransfer) << "YRFileTransfer::deleteCloudFiles" << bucket << folder
                              << "failed with" << result;
    return result;
}
