#ifndef HTTPEXCHANGE_H
#define HTTPEXCHANGE_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>
#include <functional>

namespace httplib {
struct Request;
struct Response;
class ContentReader;
} // namespace httplib

// One request and its answer, as the plan service and the store see them: the request's raw
// target, its headers and a body read on demand, and the answer being built. It also carries
// who asked and, for a refusal, why, so that the server logs one line for each refusal.
class HttpExchange
{
public:
    using ByteList = QList<QPair<QByteArray, QByteArray>>;
    using Receiver = std::function<bool(const char *data, size_t size)>;
    // Fills the sink from offset (within the answer's range) with at most size bytes; false
    // ends the answer early.
    using Provider = std::function<bool(qint64 offset, qint64 size,
                                        const std::function<bool(const char *, size_t)> &sink)>;

    HttpExchange(const httplib::Request &request, httplib::Response &response,
                 const httplib::ContentReader *reader);

    QByteArray method() const;
    // The target's path and query as sent, still percent-encoded.
    QByteArray rawPath() const { return m_rawPath; }
    QByteArray rawQuery() const { return m_rawQuery; }
    // The query's items, percent-decoded ("+" is kept: the store's clients encode a space as
    // %20), in their order; an item without "=" has an empty value.
    const ByteList &queryItems() const { return m_queryItems; }
    bool hasQueryItem(const QByteArray &name) const;
    QByteArray queryValue(const QByteArray &name) const;
    // The value of a header (repeated headers joined with ","), empty when absent.
    QByteArray header(const char *name) const;
    bool hasHeader(const char *name) const;
    // Every header the client sent, names as sent.
    ByteList headers() const;
    // "address:port" of the client.
    QString peer() const;
    // The body's declared length: Content-Length, or -1 when the client streams it in chunks
    // or sends none.
    qint64 declaredLength() const;
    bool declaresBody() const;

    enum class BodyResult { Read, TooLarge, Broken };
    // Reads the whole body into *body when it is at most maxBytes long.
    BodyResult readBody(qint64 maxBytes, QByteArray *body);
    // Hands the body to receiver as it arrives. False when the connection broke or the
    // receiver returned false.
    bool streamBody(const Receiver &receiver);

    void setHeader(const QByteArray &name, const QByteArray &value);
    // Answers with a body held in memory.
    void reply(int status, const QByteArray &contentType, const QByteArray &body);
    // Answers with length bytes that provider writes as the client takes them.
    void replyStream(int status, const QByteArray &contentType, qint64 length,
                     const Provider &provider);
    // Answers with headers only (HEAD and 204).
    void replyEmpty(int status, qint64 contentLength = 0);
    int status() const;

    // Who asked (a user's uid and name, or the access key offered) and why a refusal was made;
    // both go into the server's log line.
    void setWho(const QString &who) { m_who = who; }
    QString who() const { return m_who; }
    void setRefusal(const QString &why) { m_why = why; }
    QString refusal() const { return m_why; }

private:
    void closeUnlessBodyConsumed();

    const httplib::Request &m_request;
    httplib::Response &m_response;
    const httplib::ContentReader *m_reader;
    QByteArray m_rawPath;
    QByteArray m_rawQuery;
    ByteList m_queryItems;
    bool m_bodyConsumed = false;
    bool m_bodyStarted = false;
    QString m_who;
    QString m_why;
};

#endif // HTTPEXCHANGE_H
