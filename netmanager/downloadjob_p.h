#ifndef DOWNLOADJOB_P_H
#define DOWNLOADJOB_P_H

#include "netmanager/networkjob_p.h"

#include <QCryptographicHash>
#include <QJsonObject>
#include <QUrl>
#include <QVector>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QSaveFile;

// One file fetched to its "dest" through QSaveFile: the file there is replaced only when the
// new copy is complete and, for the store, matches the MD5 its ETag names. A broken transfer is
// resumed where it stopped (Range) up to four attempts in all; a corrupted one starts again.
// Several records naming the same "dest" share the job, and each is answered.
// A QSaveFile is only ever used by one thread: a small file is held in memory and written whole
// by a disk thread; a large one streams into a QSaveFile on this thread, a disk thread syncs its
// descriptor, and this thread renames it into place.
class DownloadJob : public NetworkJob
{
    Q_OBJECT

public:
    DownloadJob(NetworkContext *context, const QJsonObject &record, QObject *parent = nullptr);
    ~DownloadJob() override;

    void start() override;
    void abort() override;

    QString dest() const { return m_dest; }
    // The records this job answers, in the order they came.
    const QVector<QJsonObject> &records() const { return m_records; }
    void attach(const QJsonObject &record) { m_records.append(record); }
    // True once the job is answering: records can no longer join it.
    bool hasEnded() const { return m_ended; }
    // True when one of its records has this "cloudPath".
    bool hasCloudPath(const QString &cloudPath) const;

signals:
    // Whole percent of the file, each time it changes.
    void progressed(int percent);
    // 0 once the file is at "dest", else the failure; then done().
    void finished(int code);

protected:
    void replyFinished(QNetworkReply *reply) override;
    void replyReadyRead(QNetworkReply *reply) override;

private:
    void sendAttempt();
    // After restartTarget(): holds a small file in memory, or opens the QSaveFile a larger one
    // streams into.
    bool openTarget();
    bool hasTarget() const;
    // Forgets what was written: the next attempt starts from the first byte.
    void restartTarget();
    // Drops the copy being made, held or streamed.
    void discardTarget();
    // Checks the answer's first bytes: a resumed answer must continue where the file stops.
    bool acceptAnswer(QNetworkReply *reply);
    bool matchesEtag() const;
    void reportProgress();
    // Puts the complete copy at "dest" (its disk work on a disk thread), then ends.
    void commitTarget();
    void renameTarget();
    // Gives up the job's place among the transfers (transferred()) and runs work on a disk
    // thread; then(its result) follows here, unless the job was aborted meanwhile.
    void onDiskThread(std::function<bool()> work, std::function<void(bool)> then);
    // Posted by the disk thread once its work is done.
    Q_INVOKABLE void takeDiskResult();
    // Returns once no disk thread works for this job, with the result of its work.
    bool waitForDiskThread();
    void end(int code);

    QVector<QJsonObject> m_records;
    QString m_dest;
    QUrl m_url;
    std::unique_ptr<QSaveFile> m_target;
    QByteArray m_held;
    bool m_holding = false;
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    qint64 m_written = 0;
    qint64 m_total = -1;
    QByteArray m_etag;
    int m_attempt = 0;
    int m_percent = -1;
    bool m_answerChecked = false;
    bool m_answerUsable = false;
    int m_localFailure = 0;
    bool m_ended = false;
    bool m_aborted = false;
    // Whether a disk thread works for this job, and what comes after on this thread.
    bool m_onDiskThread = false;
    std::function<void(bool)> m_afterDiskWork;
    // Set by the disk thread under the lock.
    std::mutex m_diskMutex;
    std::condition_variable m_diskWorkEnded;
    bool m_diskWorkDone = false;
    bool m_diskResult = false;
};

#endif // DOWNLOADJOB_P_H
