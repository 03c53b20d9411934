#ifndef MULTIPARTUPLOADJOB_P_H
#define MULTIPARTUPLOADJOB_P_H

#include "netmanager/uploadjob_p.h"

#include <QCryptographicHash>
#include <QVector>

// A large file sent as a multipart upload: parts of 16 MiB, one after the other, each read
// from disk as it is sent, checked against its ETag and tried up to three times; then the
// parts are joined and the object's ETag checked against the MD5s of the parts. A failed
// upload is aborted on the store. With replace false an existing object is looked for first.
class MultipartUploadJob : public StoreUploadJob
{
    Q_OBJECT

public:
    // Files larger than this go up in parts.
    static const qint64 kThreshold = qint64(64) << 20;
    static const qint64 kPartSize = qint64(16) << 20;

    MultipartUploadJob(NetworkContext *context, const QJsonObject &record,
                       const UploadTarget &target, QObject *parent = nullptr);
    ~MultipartUploadJob() override;

    void start() override;

protected:
    void replyFinished(QNetworkReply *reply) override;

private:
    enum class Stage { LookForObject, Create, Part, Complete };

    QUrl objectUrl(const QString &query) const;
    void lookForObject();
    void create();
    void sendPart();
    void complete();
    void handlePart(QNetworkReply *reply, int code);
    void fail(int code);
    void abortOnStore();

    Stage m_stage = Stage::Create;
    qint64 m_size = 0;
    QString m_uploadId;
    int m_part = 0; // 1-based number of the part under way
    int m_attempt = 0;
    QVector<QByteArray> m_etags;
    QCryptographicHash m_partHashes{QCryptographicHash::Md5};
    std::unique_ptr<FileSliceDevice> m_body;
};

#endif // MULTIPARTUPLOADJOB_P_H
