#include "checksums.h"

#include <array>
#include <zlib.h>

namespace {

// Reflected CRC tables of a polynomial, built once.
template <typename T>
std::array<T, 256> crcTable(T reflectedPolynomial)
{
    std::array<T, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        T crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ reflectedPolynomial : crc >> 1;
        table[i] = crc;
    }
    return table;
}

template <typename T>
T updatedCrc(const std::array<T, 256> &table, T crc, const char *data, qint64 size)
{
    crc = ~crc;
    for (qint64 i = 0; i < size; ++i)
        crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xff] ^ (crc >> 8);
    return ~crc;
}

const std::array<uint32_t, 256> &crc32cTable()
{
    static const auto table = crcTable<uint32_t>(0x82F63B78u);
    return table;
}

const std::array<uint64_t, 256> &crc64NvmeTable()
{
    static const auto table = crcTable<uint64_t>(0x9A6C9329AC4BC9B5ull);
    return table;
}

QByteArray bigEndian(uint64_t value, int bytes)
{
    QByteArray result(bytes, '\0');
    for (int i = bytes - 1; i >= 0; --i) {
        result[i] = char(value & 0xff);
        value >>= 8;
    }
    return result;
}

} // namespace

std::unique_ptr<PayloadChecksum> PayloadChecksum::forAlgorithm(const QByteArray &name)
{
    const QByteArray upper = name.toUpper();
    std::unique_ptr<PayloadChecksum> checksum;
    if (upper == "CRC32")
        checksum.reset(new PayloadChecksum(Kind::Crc32, QStringLiteral("CRC32")));
    else if (upper == "CRC32C")
        checksum.reset(new PayloadChecksum(Kind::Crc32c, QStringLiteral("CRC32C")));
    else if (upper == "CRC64NVME")
        checksum.reset(new PayloadChecksum(Kind::Crc64Nvme, QStringLiteral("CRC64NVME")));
    else if (upper == "SHA1" || upper == "SHA256") {
        checksum.reset(new PayloadChecksum(Kind::Digest, QString::fromLatin1(upper)));
        checksum->m_digest = std::make_unique<QCryptographicHash>(
            upper == "SHA1" ? QCryptographicHash::Sha1 : QCryptographicHash::Sha256);
    }
    return checksum;
}

PayloadChecksum::PayloadChecksum(Kind kind, const QString &algorithm)
    : m_kind(kind), m_algorithm(algorithm)
{}

PayloadChecksum::~PayloadChecksum() = default;

QByteArray PayloadChecksum::headerName() const
{
    return QByteArrayLiteral("x-amz-checksum-") + m_algorithm.toLower().toLatin1();
}

void PayloadChecksum::addData(const char *data, qint64 size)
{
    switch (m_kind) {
    case Kind::Crc32:
        for (qint64 done = 0; done < size;) {
            const uInt part = uInt(qMin<qint64>(size - done, 1 << 30));
            m_crc = crc32(uLong(m_crc), reinterpret_cast<const Bytef *>(data + done), part);
            done += part;
        }
        break;
    case Kind::Crc32c:
        m_crc = updatedCrc<uint32_t>(crc32cTable(), uint32_t(m_crc), data, size);
        break;
    case Kind::Crc64Nvme:
        m_crc = updatedCrc<uint64_t>(crc64NvmeTable(), m_crc, data, size);
        break;
    case Kind::Digest:
        m_digest->addData(data, int(size));
        break;
    }
}

QByteArray PayloadChecksum::base64() const
{
    switch (m_kind) {
    case Kind::Crc32:
    case Kind::Crc32c:
        return bigEndian(m_crc, 4).toBase64();
    case Kind::Crc64Nvme:
        return bigEndian(m_crc, 8).toBase64();
    case Kind::Digest:
        return m_digest->result().toBase64();
    }
    return QByteArray();
}
