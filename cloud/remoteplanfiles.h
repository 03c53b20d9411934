#ifndef REMOTEPLANFILES_H
#define REMOTEPLANFILES_H

#include "awssigv4.h"
#include "planfiles.h"

#include <QUrl>

// A district's own S3-compatible store (Ceph's gateway, MinIO, a public cloud's S3), reached
// path-style with the plan service's own keys: the plan service reads documents from it,
// removes deleted plans' folders and stores the question bank's pictures there.
class RemotePlanFiles : public PlanFiles
{
public:
    RemotePlanFiles(const QUrl &endpoint, const YRSigV4::Credentials &credentials);

    bool read(const QString &bucket, const QByteArray &key, qint64 maxBytes, QByteArray *bytes,
              QString *error) override;
    bool removeAllBelow(const QString &bucket, const QByteArray &prefix, QString *error) override;
    bool storeFile(const QString &bucket, const QByteArray &key, const QString &path,
                   const QString &contentType, QString *error) override;

private:
    struct Answer
    {
        int status = 0;
        QByteArray body;
        QString failure; // the connection's failure, when status is 0
    };
    // Sends one signed request; the answer's body is kept up to maxBytes (more fails it).
    Answer send(const QByteArray &method, const QString &bucket, const QByteArray &key,
                const YRSigV4::QueryItems &query, YRSigV4::HeaderList headers,
                const QByteArray &body, qint64 maxBytes = 1 << 20) const;

    QUrl m_endpoint;
    YRSigV4::Credentials m_credentials;
};

#endif // REMOTEPLANFILES_H
