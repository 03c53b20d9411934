#include "uploadintake.h"

#include "awschunked.h"
#include "awssigv4.h"
#include "cloudlog.h"
#include "httpexchange.h"
#include "objectfile.h"

namespace {

S3Error refused(int status, const char *code, const QString &message)
{
    return {status, QLatin1String(code), message};
}

bool isStreaming(const QByteArray &payloadHash)
{
    return payloadHash.startsWith("STREAMING-");
}

// The checksum algorithm the client declared, with its value in x-amz-checksum-NAME or to come
// in the trailer that x-amz-trailer names; empty when none.
QByteArray declaredChecksum(const HttpExchange &exchange, QByteArray *headerValue)
{
    for (const auto &header : exchange.headers()) {
        const QByteArray name = header.first.toLower();
        if (name.startsWith("x-amz-checksum-") && name != "x-amz-checksum-algorithm" &&
            name != "x-amz-checksum-type" && name != "x-amz-checksum-mode") {
            *headerValue = header.second.trimmed();
            return name.mid(int(qstrlen("x-amz-checksum-")));
        }
    }
    const QByteArray trailer = exchange.header("x-amz-trailer").trimmed().toLower();
    if (trailer.startsWith("x-amz-checksum-"))
        return trailer.mid(int(qstrlen("x-amz-checksum-")));
    return QByteArray();
}

} // namespace

UploadIntake::UploadIntake(const HttpExchange &exchange, const StoreCaller &caller,
                           ObjectWriter *writer, qint64 maxSize)
    : m_exchange(exchange), m_caller(caller), m_writer(writer), m_maxSize(maxSize)
{}

UploadIntake::~UploadIntake() = default;

S3Error UploadIntake::prepare()
{
    const QByteArray &mode = m_caller.payloadHash;
    const QByteArray encoding = m_exchange.header("Content-Encoding").toLower();
    for (const QByteArray &part : encoding.split(',')) {
        const QByteArray name = part.trimmed();
        if (!name.isEmpty() && name != "aws-chunked" && name != "identity")
            return refused(501, "NotImplemented",
                           QStringLiteral("Content-Encoding %1 is not stored; send the bytes as "
                                          "they are")
                               .arg(QString::fromLatin1(name)));
    }
    if (m_exchange.declaredLength() > m_maxSize)
        return refused(400, "EntityTooLarge",
                       QStringLiteral("the object is larger than %1 bytes").arg(m_maxSize));

    if (m_exchange.hasHeader("Content-MD5")) {
        m_contentMd5 = QByteArray::fromBase64(m_exchange.header("Content-MD5").trimmed());
        if (m_contentMd5.size() != 16)
            return refused(400, "InvalidDigest", QStringLiteral("Content-MD5 is not an MD5"));
    }
    QByteArray checksumName = declaredChecksum(m_exchange, &m_checksumExpected);
    if (!checksumName.isEmpty()) {
        m_checksum = PayloadChecksum::forAlgorithm(checksumName);
        if (!m_checksum)
            return refused(400, "InvalidRequest",
                           QStringLiteral("the checksum algorithm %1 is not known")
                               .arg(QString::fromLatin1(checksumName)));
    }

    if (!isStreaming(mode)) {
        if (mode != YRSigV4::kUnsignedPayload)
            m_payloadSha256 = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
        return {};
    }
    if (m_caller.via != StoreCaller::Via::Header)
        return refused(400, "InvalidRequest",
                       QStringLiteral("a streamed payload needs a signature in the header"));
    bool numeric = false;
    m_decodedLength = m_exchange.header("x-amz-decoded-content-length").toLongLong(&numeric);
    if (!numeric || m_decodedLength < 0)
        return refused(411, "MissingContentLength",
                       QStringLiteral("x-amz-decoded-content-length is missing"));
    if (m_decodedLength > m_maxSize)
        return refused(400, "EntityTooLarge",
                       QStringLiteral("the object is larger than %1 bytes").arg(m_maxSize));
    const bool trailer = mode != YRSigV4::kStreamingSignedPayload;
    if (trailer && (!m_checksum || !m_checksumExpected.isEmpty()))
        return refused(400, "InvalidRequest",
                       QStringLiteral("a payload with a trailer names its checksum in "
                                      "x-amz-trailer"));
    const bool signedChunks = mode != YRSigV4::kStreamingUnsignedPayloadTrailer;
    m_decoder = std::make_unique<AwsChunkedDecoder>(
        signedChunks ? &m_caller.signing : nullptr, trailer,
        [this](const char *data, qint64 size) { return take(data, size); });
    return {};
}

bool UploadIntake::feed(const char *data, size_t size)
{
    if (m_error.isError())
        return false;
    if (!m_decoder)
        return take(data, qint64(size));
    if (m_decoder->feed(data, qint64(size)))
        return true;
    if (!m_error.isError()) {
        m_error = m_decoder->error() == AwsChunkedDecoder::Error::SignatureMismatch
                      ? refused(403, "SignatureDoesNotMatch",
                                QStringLiteral("a chunk's signature does not match"))
                      : refused(400, "InvalidRequest",
                                QStringLiteral("the aws-chunked body is malformed"));
    }
    return false;
}

bool UploadIntake::take(const char *data, qint64 size)
{
    if (m_writer->size() + size > m_maxSize) {
        m_error = refused(400, "EntityTooLarge",
                          QStringLiteral("the object is larger than %1 bytes").arg(m_maxSize));
        return false;
    }
    if (!m_writer->write(data, size)) {
        m_error = refused(500, "InternalError", QStringLiteral("the server could not store it"));
        return false;
    }
    if (m_payloadSha256)
        m_payloadSha256->addData(data, int(size));
    if (m_checksum)
        m_checksum->addData(data, size);
    return true;
}

S3Error UploadIntake::finish(bool transferred)
{
    if (m_error.isError())
        return m_error;
    if (!transferred || (m_decoder && !m_decoder->finished()) ||
        (m_decoder && m_writer->size() != m_decodedLength))
        return refused(400, "IncompleteBody",
                       QStringLiteral("the body ended before its declared length"));
    return checkDigests();
}

S3Error UploadIntake::checkDigests()
{
    if (!m_contentMd5.isEmpty() && m_contentMd5 != m_writer->md5())
        return refused(400, "BadDigest",
                       QStringLiteral("the Content-MD5 you specified did not match what we "
                                      "received"));
    if (m_payloadSha256 && m_payloadSha256->result().toHex() != m_caller.payloadHash.toLower())
        return refused(400, "XAmzContentSHA256Mismatch",
                       QStringLiteral("the x-amz-content-sha256 you specified did not match what "
                                      "we received"));
    if (!m_checksum)
        return {};
    QByteArray expected = m_checksumExpected;
    if (m_decoder) {
        for (const auto &trailer : m_decoder->trailers()) {
            if (trailer.first == m_checksum->headerName())
                expected = trailer.second;
        }
    }
    if (expected.isEmpty())
        return refused(400, "InvalidRequest",
                       QStringLiteral("the %1 checksum is missing").arg(m_checksum->algorithm()));
    if (expected != m_checksum->base64())
        return refused(400, "BadDigest",
                       QStringLiteral("the %1 you specified did not match what we received")
                           .arg(m_checksum->algorithm()));
    m_verifiedChecksums.insert(m_checksum->algorithm(), QString::fromLatin1(expected));
    return {};
}
