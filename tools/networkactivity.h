#ifndef YRPLAN_NETWORKACTIVITY_H
#define YRPLAN_NETWORKACTIVITY_H

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVector>

class YRHttpNetWorkManager;

// One answer of the network manager: a plan-service request, a network check, a download or an
// upload, with its outcome.
struct NetworkEvent
{
    enum Kind { SignIn, Check, Request, Download, Upload };

    Kind kind = Request;
    QString subject; // the api, the check's mark, the download's "dest", the upload's "remotePath"
    bool ok = false;
    QString line; // as the trace prints it
};

// Records what the network manager's objects answer, in the order they answer, and prints each
// answer as one line when tracing: "request <api>: ok", "download <dest>: failed", "upload
// <remotePath> to <bucket>: ok". Connected before the library's own objects, so that an answer
// is printed before what the library reports in reply to it.
class NetworkActivity : public QObject
{
    Q_OBJECT

public:
    // manager is not owned and must outlive this object.
    NetworkActivity(YRHttpNetWorkManager *manager, bool print);

    // The number of events so far, and those from position mark on.
    int mark() const { return m_events.size(); }
    QVector<NetworkEvent> since(int mark) const { return m_events.mid(mark); }
    // How many events of kind about subject (any subject when empty) came from mark on, only
    // those that succeeded when succeeded.
    int count(NetworkEvent::Kind kind, const QString &subject, int mark, bool succeeded) const;
    // Milliseconds since the last event (or since this object was made).
    qint64 idleMs() const { return m_sinceLastEvent.elapsed(); }

private:
    // Records an event; its line shows shown in place of subject when shown is not empty.
    void record(NetworkEvent::Kind kind, const QString &subject, bool ok, const QString &result,
                const QString &shown = QString());
    void recordRequest(const QString &api, const QJsonObject &reply);
    void recordUpload(int code, const QJsonObject &record);

    bool m_print = false;
    QVector<NetworkEvent> m_events;
    QElapsedTimer m_sinceLastEvent;
};

#endif // YRPLAN_NETWORKACTIVITY_H
