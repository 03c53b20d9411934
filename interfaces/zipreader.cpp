#include "interfaces/zipreader_p.h"

#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kBlockSize = qint64(1) << 20;

constexpr quint32 kLocalHeaderSignature = 0x04034b50;
constexpr quint32 kCentralHeaderSignature = 0x02014b50;
constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kZip64EndSignature = 0x06064b50;
constexpr quint32 kZip64LocatorSignature = 0x07064b50;
constexpr quint16 kZip64ExtraTag = 0x0001;

constexpr int kEndSize = 22;
constexpr int kMaxCommentSize = 0xFFFF;
constexpr int kZip64LocatorSize = 20;
constexpr int kZip64EndSize = 56;
constexpr int kCentralHeaderSize = 46;
constexpr int kLocalHeaderSize = 30;

constexpr quint32 kMax32 = 0xFFFFFFFFu;
constexpr quint16 kMax16 = 0xFFFFu;

bool setError(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

quint16 le16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 le32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint64 le64(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint64>(bytes.constData() + at);
}

// Replaces the 32-bit fields of a central record that point to its zip64 extra field with the
// 64-bit values there, in the order the format gives them; false when one is missing.
bool applyZip64Extra(ZipReader::Entry &entry, bool sizeMarked, bool compressedMarked,
                     bool offsetMarked)
{
    int at = 0;
    while (at + 4 <= entry.extra.size()) {
        const quint16 tag = le16(entry.extra, at);
        const int size = le16(entry.extra, at + 2);
        const int data = at + 4;
        if (data + size > entry.extra.size())
            return false;
        if (tag == kZip64ExtraTag) {
            int field = data;
            const auto take = [&](quint64 &value) {
                if (field + 8 > data + size)
                    return false;
                value = le64(entry.extra, field);
                field += 8;
                return true;
            };
            return (!sizeMarked || take(entry.uncompressedSize)) &&
                   (!compressedMarked || take(entry.compressedSize)) &&
                   (!offsetMarked || take(entry.localHeaderOffset));
        }
        at = data + size;
    }
    return !sizeMarked && !compressedMarked && !offsetMarked;
}

} // namespace

ZipReader::ZipReader(const QString &path) : m_file(path) {}

bool ZipReader::open(QString *error)
{
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return setError(error, m_file.errorString());
    m_size = m_file.size();
    qint64 directoryOffset = 0;
    qint64 directorySize = 0;
    qint64 count = 0;
    return readEndRecords(&directoryOffset, &directorySize, &count, error) &&
           readCentralDirectory(directoryOffset, directorySize, count, error);
}

bool ZipReader::readEndRecords(qint64 *directoryOffset, qint64 *directorySize, qint64 *count,
                               QString *error)
{
    const qint64 tailSize = std::min<qint64>(m_size, kEndSize + kMaxCommentSize);
    QByteArray tail;
    if (!m_file.seek(m_size - tailSize) || (tail = m_file.read(tailSize)).size() != tailSize)
        return setError(error, QStringLiteral("cannot read the end of the file"));
    int end = -1;
    for (int at = int(tailSize) - kEndSize; at >= 0; --at) {
        if (le32(tail, at) == kEndSignature && at + kEndSize + le16(tail, at + 20) <= tailSize) {
            end = at;
            break;
        }
    }
    if (end < 0)
        return setError(error, QStringLiteral("not a zip archive: no end of central directory"));
    if (le16(tail, end + 4) != 0 || le16(tail, end + 6) != 0)
        return setError(error, QStringLiteral("an archive split over several disks"));
    *count = le16(tail, end + 10);
    *directorySize = le32(tail, end + 12);
    *directoryOffset = le32(tail, end + 16);
    const bool zip64 = *count == kMax16 || quint32(*directorySize) == kMax32 ||
                       quint32(*directoryOffset) == kMax32;
    if (!zip64)
        return true;

    const qint64 locatorAt = m_size - tailSize + end - kZip64LocatorSize;
    QByteArray locator;
    if (locatorAt < 0 || !m_file.seek(locatorAt) ||
        (locator = m_file.read(kZip64LocatorSize)).size() != kZip64LocatorSize ||
        le32(locator, 0) != kZip64LocatorSignature)
        return setError(error, QStringLiteral("the zip64 end locator is missing"));
    const quint64 recordAt = le64(locator, 8);
    QByteArray record;
    if (recordAt > quint64(m_size - kZip64EndSize) || !m_file.seek(qint64(recordAt)) ||
        (record = m_file.read(kZip64EndSize)).size() != kZip64EndSize ||
        le32(record, 0) != kZip64EndSignature)
        return setError(error, QStringLiteral("the zip64 end record is missing"));
    const quint64 count64 = le64(record, 32);
    const quint64 size64 = le64(record, 40);
    const quint64 offset64 = le64(record, 48);
    if (count64 > quint64(m_size) || size64 > quint64(m_size) || offset64 > quint64(m_size))
        return setError(error, QStringLiteral("the zip64 end record is damaged"));
    *count = qint64(count64);
    *directorySize = qint64(size64);
    *directoryOffset = qint64(offset64);
    return true;
}

bool ZipReader::readCentralDirectory(qint64 offset, qint64 size, qint64 count, QString *error)
{
    if (offset > m_size || size > m_size - offset || count > size / kCentralHeaderSize ||
        size > std::numeric_limits<int>::max())
        return setError(error, QStringLiteral("the central directory lies outside the file"));
    QByteArray directory;
    if (!m_file.seek(offset) || (directory = m_file.read(size)).size() != size)
        return setError(error, QStringLiteral("cannot read the central directory"));
    m_entries.reserve(int(count));
    int at = 0;
    for (qint64 i = 0; i < count; ++i) {
        if (at + kCentralHeaderSize > directory.size() ||
            le32(directory, at) != kCentralHeaderSignature)
            return setError(error, QStringLiteral("central record %1 is damaged").arg(i));
        Entry entry;
        entry.versionMadeBy = le16(directory, at + 4);
        entry.flags = le16(directory, at + 8);
        entry.method = le16(directory, at + 10);
        entry.crc = le32(directory, at + 16);
        entry.compressedSize = le32(directory, at + 20);
        entry.uncompressedSize = le32(directory, at + 24);
        const int nameSize = le16(directory, at + 28);
        const int extraSize = le16(directory, at + 30);
        const int commentSize = le16(directory, at + 32);
        entry.externalAttributes = le32(directory, at + 38);
        entry.localHeaderOffset = le32(directory, at + 42);
        const int next = at + kCentralHeaderSize + nameSize + extraSize + commentSize;
        if (next > directory.size())
            return setError(error, QStringLiteral("central record %1 is damaged").arg(i));
        entry.rawName = directory.mid(at + kCentralHeaderSize, nameSize);
        entry.extra = directory.mid(at + kCentralHeaderSize + nameSize, extraSize);
        if (!applyZip64Extra(entry, entry.uncompressedSize == kMax32,
                             entry.compressedSize == kMax32, entry.localHeaderOffset == kMax32))
            return setError(error,
                            QStringLiteral("central record %1 lacks its zip64 sizes").arg(i));
        m_entries.append(entry);
        at = next;
    }
    return true;
}

// Where the data of entry starts: past its local header, which must agree with the central
// record on the name and the method.
qint64 ZipReader::dataOffset(const Entry &entry, QString *error)
{
    QByteArray header;
    if (entry.localHeaderOffset > quint64(m_size - kLocalHeaderSize) ||
        !m_file.seek(qint64(entry.localHeaderOffset)) ||
        (header = m_file.read(kLocalHeaderSize)).size() != kLocalHeaderSize ||
        le32(header, 0) != kLocalHeaderSignature) {
        setError(error, QStringLiteral("its local header is missing"));
        return -1;
    }
    const int nameSize = le16(header, 26);
    const int extraSize = le16(header, 28);
    if (le16(header, 8) != entry.method || m_file.read(nameSize) != entry.rawName) {
        setError(error, QStringLiteral("its local header does not match its central record"));
        return -1;
    }
    const qint64 offset = qint64(entry.localHeaderOffset) + kLocalHeaderSize + nameSize + extraSize;
    if (entry.compressedSize > quint64(m_size) || offset > m_size - qint64(entry.compressedSize)) {
        setError(error, QStringLiteral("its data lies outside the package"));
        return -1;
    }
    return offset;
}

bool ZipReader::read(const Entry &entry, const std::function<bool(const char *, qint64)> &consume,
                     QString *error)
{
    if (entry.flags & kFlagEncrypted)
        return setError(error, QStringLiteral("it is encrypted"));
    if (entry.uncompressedSize > quint64(std::numeric_limits<qint64>::max()))
        return setError(error, QStringLiteral("it declares an impossible size"));
    const qint64 offset = dataOffset(entry, error);
    if (offset < 0 || !m_file.seek(offset))
        return false;
    if (m_in.isEmpty()) {
        m_in = QByteArray(int(kBlockSize), Qt::Uninitialized);
        m_out = QByteArray(int(kBlockSize), Qt::Uninitialized);
    }
    quint32 crc = quint32(crc32_z(0, nullptr, 0));
    bool read = false;
    if (entry.method == kMethodStored)
        read = readStored(entry, consume, &crc, error);
    else if (entry.method == kMethodDeflated)
        read = readDeflated(entry, consume, &crc, error);
    else
        return setError(error, QStringLiteral("it uses compression method %1").arg(entry.method));
    if (!read)
        return false;
    if (crc != entry.crc)
        return setError(error, QStringLiteral("its data does not match its CRC-32"));
    return true;
}

bool ZipReader::readStored(const Entry &entry,
                           const std::function<bool(const char *, qint64)> &consume, quint32 *crc,
                           QString *error)
{
    if (entry.compressedSize != entry.uncompressedSize)
        return setError(error, QStringLiteral("it is stored with two different sizes"));
    qint64 left = qint64(entry.uncompressedSize);
    while (left > 0) {
        const qint64 n = m_file.read(m_in.data(), std::min(left, kBlockSize));
        if (n <= 0)
            return setError(error, QStringLiteral("the package is truncated"));
        *crc = quint32(crc32_z(*crc, reinterpret_cast<const Bytef *>(m_in.constData()), size_t(n)));
        if (!consume(m_in.constData(), n))
            return setError(error, QStringLiteral("cannot pass its data on"));
        left -= n;
    }
    return true;
}

bool ZipReader::readDeflated(const Entry &entry,
                             const std::function<bool(const char *, qint64)> &consume, quint32 *crc,
                             QString *error)
{
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return setError(error, QStringLiteral("cannot start inflating"));
    const auto fail = [&stream, error](const QString &message) {
        inflateEnd(&stream);
        return setError(error, message);
    };
    const qint64 declared = qint64(entry.uncompressedSize);
    qint64 inputLeft = qint64(entry.compressedSize);
    qint64 produced = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            if (inputLeft == 0)
                return fail(QStringLiteral("its data ends before its deflate stream does"));
            const qint64 n = m_file.read(m_in.data(), std::min(inputLeft, kBlockSize));
            if (n <= 0)
                return fail(QStringLiteral("the package is truncated"));
            inputLeft -= n;
            stream.next_in = reinterpret_cast<Bytef *>(m_in.data());
            stream.avail_in = uInt(n);
        }
        stream.next_out = reinterpret_cast<Bytef *>(m_out.data());
        stream.avail_out = uInt(m_out.size());
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return fail(QStringLiteral("its data is damaged (zlib error %1)").arg(result));
        const qint64 n = qint64(m_out.size()) - stream.avail_out;
        // Nothing beyond the declared size is ever passed on: a zip bomb ends here.
        if (n > declared - produced)
            return fail(
                QStringLiteral("it expands beyond its declared size of %1 bytes").arg(declared));
        produced += n;
        *crc =
            quint32(crc32_z(*crc, reinterpret_cast<const Bytef *>(m_out.constData()), size_t(n)));
        if (n > 0 && !consume(m_out.constData(), n))
            return fail(QStringLiteral("cannot pass its data on"));
    }
    inflateEnd(&stream);
    if (produced != declared)
        return setError(error, QStringLiteral("it holds %1 bytes, not the %2 it declares")
                                   .arg(produced)
                                   .arg(declared));
    return true;
}
