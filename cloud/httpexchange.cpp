#include "httpexchange.h"

#include "promptack.h"

#include <httplib.h>

#include <memory>

namespace {

// The most of an unwanted body that is read before answering; more closes the connection.
const qint64 kDiscardedBodyLimit = 4 * 1024 * 1024;

// Percent-decoding alone, as the signature and the store read a query.
QByteArray percentDecoded(const QByteArray &text)
{
    return QByteArray::fromPercentEncoding(text);
}

HttpExchange::ByteList parsedQuery(const QByteArray &rawQuery)
{
    HttpExchange::ByteList items;
    for (const QByteArray &part : rawQuery.split('&')) {
        if (part.isEmpty())
            continue;
        const int equals = part.indexOf('=');
        if (equals < 0)
            items.append({percentDecoded(part), QByteArray()});
        else
            items.append({percentDecoded(part.left(equals)), percentDecoded(part.mid(equals + 1))});
    }
    return items;
}

} // namespace

HttpExchange::HttpExchange(const httplib::Request &request, httplib::Response &response,
                           const httplib::ContentReader *reader)
    : m_request(request), m_response(response), m_reader(reader)
{
    const QByteArray target = QByteArray::fromStdString(request.target);
    const int question = target.indexOf('?');
    m_rawPath = question < 0 ? target : target.left(question);
    m_rawQuery = question < 0 ? QByteArray() : target.mid(question + 1);
    m_queryItems = parsedQuery(m_rawQuery);
    m_bodyConsumed = !declaresBody();
    // The server library would cut every answer (errors too) to the Range it parsed; the store
    // applies Range itself, to the objects alone. The request object is the library's own,
    // not a constant, for the time of the handler.
    const_cast<httplib::Request &>(request).ranges.clear();
}

QByteArray HttpExchange::method() const
{
    return QByteArray::fromStdString(m_request.method);
}

bool HttpExchange::hasQueryItem(const QByteArray &name) const
{
    for (const auto &item : m_queryItems) {
        if (item.first == name)
            return true;
    }
    return false;
}

QByteArray HttpExchange::queryValue(const QByteArray &name) const
{
    for (const auto &item : m_queryItems) {
        if (item.first == name)
            return item.second;
    }
    return QByteArray();
}

QByteArray HttpExchange::header(const char *name) const
{
    QByteArray value;
    const auto range = m_request.headers.equal_range(name);
    for (auto it = range.first; it != range.second; ++it) {
        if (it != range.first)
            value += ',';
        value += QByteArray::fromStdString(it->second);
    }
    return value;
}

bool HttpExchange::hasHeader(const char *name) const
{
    return m_request.has_header(name);
}

HttpExchange::ByteList HttpExchange::headers() const
{
    ByteList list;
    for (const auto &header : m_request.headers) {
        // The server library files the peer's address among the headers; nobody sent those.
        if (header.first == "REMOTE_ADDR" || header.first == "REMOTE_PORT" ||
            header.first == "LOCAL_ADDR" || header.first == "LOCAL_PORT")
            continue;
        list.append(
            {QByteArray::fromStdString(header.first), QByteArray::fromStdString(header.second)});
    }
    return list;
}

QString HttpExchange::peer() const
{
    return QString::fromStdString(m_request.remote_addr) + QLatin1Char(':') +
           QString::number(m_request.remote_port);
}

qint64 HttpExchange::declaredLength() const
{
    if (!m_request.has_header("Content-Length"))
        return -1;
    bool ok = false;
    const qint64 length = header("Content-Length").toLongLong(&ok);
    return ok ? length : -1;
}

bool HttpExchange::declaresBody() const
{
    return declaredLength() > 0 ||
           header("Transfer-Encoding").toLower().contains(QByteArrayLiteral("chunked"));
}

HttpExchange::BodyResult HttpExchange::readBody(qint64 maxBytes, QByteArray *body)
{
    body->clear();
    if (!declaresBody())
        return BodyResult::Read;
    if (declaredLength() > maxBytes)
        return BodyResult::TooLarge;
    bool tooLarge = false;
    const bool read = streamBody([&](const char *data, size_t size) {
        if (body->size() + qint64(size) > maxBytes) {
            tooLarge = true;
            return false;
        }
        body->append(data, int(size));
        return true;
    });
    if (tooLarge)
        return BodyResult::TooLarge;
    return read ? BodyResult::Read : BodyResult::Broken;
}

bool HttpExchange::streamBody(const Receiver &receiver)
{
    if (!m_reader || m_bodyConsumed || m_bodyStarted)
        return m_bodyConsumed;
    m_bodyStarted = true;
    const bool read = (*m_reader)([&receiver](const char *data, size_t size) {
        PromptAck::bodyRead();
        return receiver(data, size);
    });
    m_bodyConsumed = read;
    return read;
}

void HttpExchange::setHeader(const QByteArray &name, const QByteArray &value)
{
    m_response.set_header(name.toStdString(), value.toStdString());
}

void HttpExchange::reply(int status, const QByteArray &contentType, const QByteArray &body)
{
    closeUnlessBodyConsumed();
    m_response.status = status;
    m_response.set_content(body.toStdString(), contentType.toStdString());
}

void HttpExchange::replyStream(int status, const QByteArray &contentType, qint64 length,
                               const Provider &provider)
{
    closeUnlessBodyConsumed();
    m_response.status = status;
    if (m_request.method == "HEAD" || length == 0) {
        setHeader("Content-Type", contentType);
        setHeader("Content-Length", QByteArray::number(length));
        return;
    }
    m_response.set_content_provider(
        size_t(length), contentType.toStdString(),
        [provider](size_t offset, size_t size, httplib::DataSink &sink) {
            return provider(qint64(offset), qint64(size),
                            [&sink](const char *data, size_t n) { return sink.write(data, n); });
        });
}

void HttpExchange::replyEmpty(int status, qint64 contentLength)
{
    closeUnlessBodyConsumed();
    m_response.status = status;
    setHeader("Content-Length", QByteArray::number(contentLength));
}

int HttpExchange::status() const
{
    return m_response.status;
}

void HttpExchange::closeUnlessBodyConsumed()
{
    // A client may not look for an answer before it has sent its whole body, so a small body
    // that was not wanted is read and dropped first.
    const qint64 length = declaredLength();
    if (!m_bodyConsumed && !m_bodyStarted && length >= 0 && length <= kDiscardedBodyLimit)
        streamBody([](const char *, size_t) { return true; });
    // What is left of an unread body would be read as the next request on this connection;
    // the client is told to open a new one instead.
    if (!m_bodyConsumed)
        setHeader("Connection", "close");
}
