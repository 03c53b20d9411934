#ifndef UPLOADJOB_P_H
#define UPLOADJOB_P_H

#include "netmanager/networkjob_p.h"

#include <QJsonObject>
#include <QString>

#include <memory>

class FileSliceDevice;

// Where a file goes in the store and how.
struct UploadTarget
{
    QString localPath;
    QString bucket;
    QString key; // without a leading "/"
    bool replace = true;
};

// What the two kinds of upload have in common: the caller's record, carried unchanged, and
// one finished(code) answer.
class StoreUploadJob : public NetworkJob
{
    Q_OBJECT

public:
    const QJsonObject &record() const { return m_record; }
    const UploadTarget &target() const { return m_target; }

signals:
    // 0 once the object is stored, else the failure; then done().
    void finished(int code);

protected:
    StoreUploadJob(NetworkContext *context, const QJsonObject &record, const UploadTarget &target,
                   QObject *parent);
    void end(int code, bool deferred = false);

private:
    QJsonObject m_record;
    UploadTarget m_target;
};

// One PutObject of a whole file, read from disk as it is sent. With replace false the store is
// asked not to overwrite an object that exists (If-None-Match), and finding one counts as
// done. The stored object's ETag must be the MD5 of what was read. One attempt: the resource
// manager decides when to send a failed upload again.
class PutObjectJob : public StoreUploadJob
{
    Q_OBJECT

public:
    PutObjectJob(NetworkContext *context, const QJsonObject &record, const UploadTarget &target,
                 QObject *parent = nullptr);
    ~PutObjectJob() override;

    void start() override;

protected:
    void replyFinished(QNetworkReply *reply) override;

private:
    std::unique_ptr<FileSliceDevice> m_body;
};

#endif // UPLOADJOB_P_H
