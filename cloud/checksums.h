#ifndef CHECKSUMS_H
#define CHECKSUMS_H

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <cstdint>
#include <memory>

// The additional checksums S3 clients send with an upload (x-amz-checksum-ALGORITHM, in a
// header or a trailer): CRC32, CRC32C, CRC64NVME, SHA1 and SHA256, computed as the bytes pass.
// zlib gives CRC32 and Qt the SHA digests; the other two CRCs are tables of our own, since
// nothing the distribution offers computes them.
class PayloadChecksum
{
public:
    // The algorithm named by an x-amz-checksum-* header's suffix ("crc32c") or by
    // x-amz-sdk-checksum-algorithm ("CRC32C"); null when it is none of the five.
    static std::unique_ptr<PayloadChecksum> forAlgorithm(const QByteArray &name);
    ~PayloadChecksum();

    // "CRC32", "CRC32C", "CRC64NVME", "SHA1" or "SHA256".
    QString algorithm() const { return m_algorithm; }
    // The header that carries it: "x-amz-checksum-crc32" and so on.
    QByteArray headerName() const;
    void addData(const char *data, qint64 size);
    // The checksum in the form the header carries: base64 of its big-endian bytes.
    QByteArray base64() const;

private:
    enum class Kind { Crc32, Crc32c, Crc64Nvme, Digest };
    PayloadChecksum(Kind kind, const QString &algorithm);

    Kind m_kind;
    QString m_algorithm;
    uint64_t m_crc = 0;
    std::unique_ptr<QCryptographicHash> m_digest;
};

#endif // CHECKSUMS_H
