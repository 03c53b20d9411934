#ifndef LISTDELETEJOB_P_H
#define LISTDELETEJOB_P_H

#include "netmanager/networkjob_p.h"

#include <QStringList>

// Deletes every object of a bucket whose key starts with a prefix: lists them (page by page),
// deletes them a thousand at a time, and lists again, until a listing comes back empty (at most
// three rounds). It reports success only when that last listing found nothing.
class ListDeleteJob : public NetworkJob
{
    Q_OBJECT

public:
    ListDeleteJob(NetworkContext *context, const QString &bucket, const QString &prefix,
                  QObject *parent = nullptr);

    void start() override;

signals:
    // 0 when nothing is left below the prefix, else the failure; then done().
    void finished(int code);

protected:
    void replyFinished(QNetworkReply *reply) override;

private:
    void listPage(const QString &continuation);
    void deleteBatch();
    void end(int code);

    QString m_bucket;
    QString m_prefix;
    QStringList m_keys;
    bool m_listing = true;
    int m_round = 1;
    int m_lastFailure = 0;
};

#endif // LISTDELETEJOB_P_H
