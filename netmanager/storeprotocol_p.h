#ifndef STOREPROTOCOL_P_H
#define STOREPROTOCOL_P_H

#include <QByteArray>
#include <QStringList>

class QNetworkRequest;
struct StoreAccess;

// The pieces of the store's S3 protocol that the jobs share: signing, hashes and the few XML
// answers they read.
namespace StoreProtocol {

// The payload hash of a request without a body, and the mark of one sent unsigned.
QByteArray emptyPayloadHash();
QByteArray unsignedPayload();
// Lower-case hex SHA-256 of bytes.
QByteArray sha256Hex(const QByteArray &bytes);
// The MD5 a single-part ETag names, lower-case hex; empty for multipart or weak ETags.
QByteArray md5OfEtag(const QByteArray &etag);

// Adds the Signature Version 4 headers for method to request, whose address and other headers
// are final; payloadHash is the hex SHA-256 of the body or unsignedPayload().
void sign(QNetworkRequest &request, const QByteArray &method, const QByteArray &payloadHash,
          const StoreAccess &store);
// The download token the store accepts in "?sign=" for label, valid until expires (seconds
// since the epoch).
QString downloadToken(const StoreAccess &store, const QString &label, qint64 expires);

// The text of the first element called name in an XML answer; empty when there is none.
QString xmlText(const QByteArray &xml, const QString &name);
// The texts of every element called name, in order.
QStringList xmlTexts(const QByteArray &xml, const QString &name);
// True when the answer's root element is <Error> (S3 may answer an error with status 200).
bool isXmlError(const QByteArray &xml);
// Escapes text for an XML element.
QByteArray xmlEscaped(const QString &text);

} // namespace StoreProtocol

#endif // STOREPROTOCOL_P_H
