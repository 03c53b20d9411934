#ifndef UPLOADINTAKE_H
#define UPLOADINTAKE_H

#include "checksums.h"
#include "storeauth.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMap>

#include <memory>

class AwsChunkedDecoder;
class HttpExchange;
class ObjectWriter;

// Takes the body of an upload (an object or one part) as it arrives: undoes aws-chunked and
// checks its chunk signatures, keeps the length within bounds, and computes every digest the
// client declared (Content-MD5, x-amz-content-sha256, x-amz-checksum-* in a header or a
// trailer), writing the bytes to an ObjectWriter. Only when finish() finds everything in order
// may the caller put the object in place.
class UploadIntake
{
public:
    UploadIntake(const HttpExchange &exchange, const StoreCaller &caller, ObjectWriter *writer,
                 qint64 maxSize);
    ~UploadIntake();

    // Reads the request's headers; an error when they contradict each other or the payload
    // mode is not one the store takes.
    S3Error prepare();
    // The receiver of the body's bytes; false stops the transfer (error() then says why).
    bool feed(const char *data, size_t size);
    // After the body: whether it arrived whole (transferred says whether the transfer itself
    // finished) and matches every digest.
    S3Error finish(bool transferred);
    // The checksums verified, by algorithm, to keep with the object.
    QMap<QString, QString> checksums() const { return m_verifiedChecksums; }

private:
    bool take(const char *data, qint64 size);
    S3Error checkDigests();

    const HttpExchange &m_exchange;
    const StoreCaller &m_caller;
    ObjectWriter *m_writer;
    qint64 m_maxSize;
    S3Error m_error;

    std::unique_ptr<AwsChunkedDecoder> m_decoder;
    qint64 m_decodedLength = -1;
    QByteArray m_contentMd5;
    std::unique_ptr<QCryptographicHash> m_payloadSha256;
    std::unique_ptr<PayloadChecksum> m_checksum;
    QByteArray m_checksumExpected; // from a header; empty when it comes in the trailer
    QMap<QString, QString> m_verifiedChecksums;
};

#endif // UPLOADINTAKE_H
