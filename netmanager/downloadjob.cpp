#include "netmanager/downloadjob_p.h"

#include "netmanager/diskthreads_p.h"
#include "netmanager/networkcontext_p.h"
#include "netmanager/storeprotocol_p.h"
#include "netmanager/yrnetworkerror.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QUrlQuery>

#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcDownload, "yrnetwork.download")

namespace {

const int kAttempts = 4;
const qint64 kReadBufferBytes = 1 << 20;
// Files up to this size are held in memory and written whole by a disk thread.
const qint64 kHeldBytes = 4 << 20;

// Writes the file's data to the disk, as QSaveFile::commit() does before it renames.
void syncToDisk(int descriptor)
{
#if defined(Q_OS_WIN)
    ::_commit(descriptor);
#elif defined(Q_OS_LINUX)
    ::fdatasync(descriptor);
#else
    ::fsync(descriptor);
#endif
}

// Replaces the file at dest with bytes, start to end on the calling thread.
bool saveWhole(const QString &dest, const QByteArray &bytes)
{
    QSaveFile file(dest);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    qCWarning(lcDownload) << "DownloadJob cannot write" << dest << file.errorString();
    return false;
}

// The first byte and the total of a "Content-Range: bytes FIRST-LAST/TOTAL" header; the total
// is -1 when the server does not say.
bool parseContentRange(const QByteArray &header, qint64 *first, qint64 *total)
{
    static const QRegularExpression form(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+|\\*)$"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(header.trimmed()));
    if (!match.hasMatch())
        return false;
    *first = match.captured(1).toLongLong();
    *total = match.captured(3) == QLatin1String("*") ? -1 : match.captured(3).toLongLong();
    return true;
}

// The address to send: a store address loses its download token, since the request is
// signed instead.
QUrl addressToSend(const NetworkContext *context, const QUrl &url)
{
    if (!context->isStoreUrl(url))
        return url;
    QUrl plain = url;
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("sign"));
    plain.setQuery(query.isEmpty() ? QString() : query.query(QUrl::FullyEncoded), QUrl::StrictMode);
    return plain;
}

} // namespace

DownloadJob::DownloadJob(NetworkContext *context, const QJsonObject &record, QObject *parent)
    : NetworkJob(context, parent), m_records{record},
      m_dest(record.value(QLatin1String("dest")).toString()),
      m_url(QUrl(record.value(QLatin1String("url")).toString()))
{}

DownloadJob::~DownloadJob()
{
    waitForDiskThread();
}

bool DownloadJob::hasCloudPath(const QString &cloudPath) const
{
    for (const QJsonObject &record : m_records) {
        if (record.value(QLatin1String("cloudPath")).toString() == cloudPath)
            return true;
    }
    return false;
}

void DownloadJob::start()
{
    const QString folder = QFileInfo(m_dest).absolutePath();
    QDir().mkpath(folder);
    if (!QFileInfo(folder).isWritable()) {
        qCWarning(lcDownload) << "DownloadJob::start cannot write in" << folder;
        QTimer::singleShot(0, this, [this] { end(YRNE_LocalFile); });
        return;
    }
    sendAttempt();
}

void DownloadJob::abort()
{
    m_aborted = true;
    NetworkJob::abort();
    waitForDiskThread();
    discardTarget();
}

bool DownloadJob::openTarget()
{
    if (m_total >= 0 && m_total <= kHeldBytes) {
        m_held.reserve(int(m_total));
        m_holding = true;
        return true;
    }
    m_target = std::make_unique<QSaveFile>(m_dest);
    if (m_target->open(QIODevice::WriteOnly))
        return true;
    qCWarning(lcDownload) << "DownloadJob::openTarget cannot write" << m_dest
                          << m_target->errorString();
    m_target.reset();
    return false;
}

void DownloadJob::restartTarget()
{
    m_written = 0;
    m_total = -1;
    m_etag.clear();
    m_hash.reset();
    discardTarget();
}

void DownloadJob::discardTarget()
{
    m_target.reset(); // a QSaveFile never committed leaves "dest" as it was
    m_held.clear();
    m_holding = false;
}

bool DownloadJob::hasTarget() const
{
    return m_holding || m_target;
}

void DownloadJob::sendAttempt()
{
    ++m_attempt;
    m_answerChecked = false;
    m_answerUsable = false;
    const QUrl url = addressToSend(context(), m_url);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    if (m_written > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_written) + '-');
        if (!m_etag.isEmpty())
            request.setRawHeader("If-Range", m_etag);
    }
    if (context()->isStoreUrl(url))
        StoreProtocol::sign(request, "GET", StoreProtocol::emptyPayloadHash(), context()->store);
    QNetworkReply *reply = context()->downloadAccess()->get(request);
    // Bytes wait in the reply only this much before the socket is left unread: on loopback
    // the network outruns the disk, and an unbounded buffer would hold the whole file.
    reply->setReadBufferSize(kReadBufferBytes);
    watch(reply, true);
}

bool DownloadJob::acceptAnswer(QNetworkReply *reply)
{
    const int status = statusOf(reply);
    if (status == 206) {
        qint64 first = 0;
        qint64 total = -1;
        if (!parseContentRange(reply->rawHeader("Content-Range"), &first, &total) ||
            first != m_written) {
            // Not the continuation of what we hold: start again from the first byte.
            restartTarget();
            if (m_localFailure == 0)
                m_localFailure = YRNE_Corrupted;
            return false;
        }
        m_total = total;
        return true;
    }
    if (status < 200 || status >= 300)
        return false;
    restartTarget(); // a first answer, or the server sent the whole object again
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    m_total = length.isValid() ? length.toLongLong() : -1;
    m_etag = reply->rawHeader("ETag");
    if (m_localFailure == 0 && !openTarget())
        m_localFailure = YRNE_LocalFile;
    return m_localFailure == 0;
}

void DownloadJob::replyReadyRead(QNetworkReply *reply)
{
    if (!m_answerChecked) {
        m_answerChecked = true;
        m_answerUsable = acceptAnswer(reply);
        if (!m_answerUsable && m_localFailure != 0) {
            reply->abort();
            return;
        }
    }
    if (!m_answerUsable || !hasTarget())
        return;
    const QByteArray bytes = reply->readAll();
    if (bytes.isEmpty())
        return;
    if (m_holding && m_held.size() + bytes.size() > kHeldBytes) {
        // More than the answer declared: not the object we asked for.
        restartTarget();
        m_localFailure = YRNE_Corrupted;
        m_answerUsable = false;
        reply->abort();
        return;
    }
    if (m_holding) {
        m_held.append(bytes);
    } else if (m_target->write(bytes) != bytes.size()) {
        qCWarning(lcDownload) << "DownloadJob::replyReadyRead cannot write" << m_dest
                              << m_target->errorString();
        m_localFailure = YRNE_LocalFile;
        m_answerUsable = false;
        reply->abort();
        return;
    }
    m_hash.addData(bytes);
    m_written += bytes.size();
    reportProgress();
}

void DownloadJob::reportProgress()
{
    if (m_total <= 0)
        return;
    const int percent = int(qMin<qint64>(100, m_written * 100 / m_total));
    if (percent == m_percent)
        return;
    m_percent = percent;
    emit progressed(percent);
}

bool DownloadJob::matchesEtag() const
{
    if (!context()->isStoreUrl(m_url))
        return true;
    const QByteArray expected = StoreProtocol::md5OfEtag(m_etag);
    return expected.isEmpty() || expected == m_hash.result().toHex();
}

void DownloadJob::replyFinished(QNetworkReply *reply)
{
    if (m_localFailure == 0)
        replyReadyRead(reply);
    int code = m_localFailure != 0 ? m_localFailure : failureOf(reply);
    m_localFailure = 0;
    if (code == YRNE_Success && m_total >= 0 && m_written != m_total)
        code = YRNE_ConnectFailed;
    if (code == YRNE_Success && !matchesEtag()) {
        qCWarning(lcDownload) << "DownloadJob::replyFinished MD5 differs from the ETag of"
                              << m_url.toString(QUrl::RemoveQuery);
        code = YRNE_Corrupted;
        restartTarget();
    }
    if (code == 416) // the range no longer fits the object: fetch it whole
        restartTarget();
    if (code == YRNE_Success && !hasTarget())
        code = YRNE_LocalFile;
    if (code == YRNE_Success) {
        commitTarget();
    } else if ((isTransient(code) || code == 416) && m_attempt < kAttempts) {
        qCDebug(lcDownload) << "DownloadJob::replyFinished attempt" << m_attempt << "failed with"
                            << code << "at byte" << m_written << "of" << m_dest;
        retryLater(m_attempt, [this] { sendAttempt(); });
    } else {
        end(code);
    }
}

void DownloadJob::commitTarget()
{
    if (m_holding) {
        // A disk thread makes the file from the bytes, start to end: its QSaveFile is used by
        // that thread alone, and this one goes on with the other transfers.
        const QByteArray bytes = m_held;
        discardTarget();
        onDiskThread([dest = m_dest, bytes] { return saveWhole(dest, bytes); },
                     [this](bool saved) { end(saved ? YRNE_Success : YRNE_LocalFile); });
        return;
    }
    // Only the descriptor goes to the disk thread: the copy itself is never used from two
    // threads. Once its data is on disk, this thread renames it over "dest"; the sync that
    // commit() makes then finds nothing left to write.
    if (!m_target->flush()) {
        end(YRNE_LocalFile);
        return;
    }
    const int descriptor = m_target->handle();
    onDiskThread(
        [descriptor] {
            syncToDisk(descriptor);
            return true;
        },
        [this](bool) { renameTarget(); });
}

void DownloadJob::onDiskThread(std::function<bool()> work, std::function<void(bool)> then)
{
    m_onDiskThread = true;
    m_afterDiskWork = std::move(then);
    context()->diskThreads()->run([this, work = std::move(work)] {
        const bool result = work();
        std::lock_guard<std::mutex> lock(m_diskMutex);
        // Posted before the job can see the work done, so the job is still there to take it.
        // Posted by name: Qt makes the call, and nothing of this thread's making crosses over.
        QMetaObject::invokeMethod(this, "takeDiskResult", Qt::QueuedConnection);
        m_diskResult = result;
        m_diskWorkDone = true;
        m_diskWorkEnded.notify_one(); // under the lock: the job may go once it is released
    });
    // Last: the next transfer starts from here, and whatever its signals make the host do (drop
    // this job, say) finds the work handed over and waits for it.
    emit transferred();
}

void DownloadJob::takeDiskResult()
{
    if (!m_onDiskThread)
        return; // an abort took it already
    const bool result = waitForDiskThread();
    const std::function<void(bool)> then = std::move(m_afterDiskWork);
    if (!m_aborted)
        then(result);
}

bool DownloadJob::waitForDiskThread()
{
    if (!m_onDiskThread)
        return false;
    std::unique_lock<std::mutex> lock(m_diskMutex);
    m_diskWorkEnded.wait(lock, [this] { return m_diskWorkDone; }); // disk work takes milliseconds
    m_diskWorkDone = false;
    m_onDiskThread = false;
    return m_diskResult;
}

void DownloadJob::renameTarget()
{
    if (!m_target)
        return;
    const bool committed = m_target->commit();
    if (!committed)
        qCWarning(lcDownload) << "DownloadJob::renameTarget cannot replace" << m_dest
                              << m_target->errorString();
    m_target.reset();
    end(committed ? YRNE_Success : YRNE_LocalFile);
}

void DownloadJob::end(int code)
{
    m_ended = true;
    if (code != YRNE_Success) {
        discardTarget();
        qCWarning(lcDownload) << "DownloadJob failed with" << code << "for" << m_dest;
    }
    emit finished(code);
    finish();
}
