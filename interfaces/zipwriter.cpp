#include "interfaces/zipwriter_p.h"

#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>

// Each local header is written before its data with the CRC-32 and sizes known so far, and
// patched by seeking back once the data is written, instead of being followed by a data
// descriptor: readers that stream an archive cannot find the end of a stored entry whose size
// comes only after it, and the archive is written to a seekable file anyway. An entry that
// fits in one block is read before its header is written, so only large files need the patch.

namespace {

// Large enough that reads and writes cost little per byte, small enough that the block is
// still in the CPU cache when it is written after its CRC is computed.
constexpr int kBlockSize = 1024 * 1024;

constexpr quint32 kLocalHeaderSignature = 0x04034b50;
constexpr quint32 kCentralHeaderSignature = 0x02014b50;
constexpr quint32 kEndOfCentralDirectorySignature = 0x06054b50;
constexpr quint32 kZip64EndOfCentralDirectorySignature = 0x06064b50;
constexpr quint32 kZip64EndLocatorSignature = 0x07064b50;
constexpr quint16 kZip64ExtraTag = 0x0001;

constexpr int kLocalHeaderSize = 30;
constexpr int kLocalCrcOffset = 14;
constexpr int kLocalZip64ExtraSize = 4 + 16;

// Made on Unix (so that the upper half of the external attributes is a file mode), zip 3.0.
constexpr quint16 kVersionMadeBy = (3 << 8) | 30;
constexpr quint16 kVersionStored = 10;
constexpr quint16 kVersionDeflated = 20;
constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = 8;
constexpr quint16 kVersionDirectory = 20;
constexpr quint16 kVersionZip64 = 45;
constexpr quint16 kFlagUtf8Name = 1 << 11;

constexpr quint64 kMax32 = 0xFFFFFFFFu;
constexpr quint64 kMax16 = 0xFFFFu;
constexpr quint32 kUnixRegularFile = 0100000;
constexpr quint32 kUnixDirectory = 0040000;
constexpr quint32 kDosDirectoryAttribute = 0x10;

void appendLe16(QByteArray &out, quint64 value)
{
    const quint16 v = qToLittleEndian(quint16(value));
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

void appendLe32(QByteArray &out, quint64 value)
{
    const quint32 v = qToLittleEndian(quint32(value));
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

void appendLe64(QByteArray &out, quint64 value)
{
    const quint64 v = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

// A 32-bit field, or the marker that sends readers to the zip64 extra field.
quint64 field32(quint64 value)
{
    return std::min(value, kMax32);
}

bool isPlainAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// MS-DOS date (high half) and time (low half) of a local time, clamped to the years the
// format can hold; seconds are stored halved.
quint32 dosDateTime(const QDateTime &when)
{
    const QDateTime local = when.toLocalTime();
    if (!local.isValid() || local.date().year() < 1980)
        return quint32(1 << 5 | 1) << 16; // 1980-01-01 00:00:00
    if (local.date().year() > 2107)
        return quint32(127 << 9 | 12 << 5 | 31) << 16 | quint32(23 << 11 | 59 << 5 | 29);
    const QDate d = local.date();
    const QTime t = local.time();
    const quint32 date = quint32((d.year() - 1980) << 9 | d.month() << 5 | d.day());
    const quint32 time = quint32(t.hour() << 11 | t.minute() << 5 | t.second() / 2);
    return date << 16 | time;
}

quint32 unixMode(QFileDevice::Permissions permissions)
{
    static const struct
    {
        QFileDevice::Permission permission;
        quint32 bit;
    } bits[] = {{QFileDevice::ReadOwner, 0400},  {QFileDevice::WriteOwner, 0200},
                {QFileDevice::ExeOwner, 0100},   {QFileDevice::ReadGroup, 0040},
                {QFileDevice::WriteGroup, 0020}, {QFileDevice::ExeGroup, 0010},
                {QFileDevice::ReadOther, 0004},  {QFileDevice::WriteOther, 0002},
                {QFileDevice::ExeOther, 0001}};
    quint32 mode = 0;
    for (const auto &b : bits) {
        if (permissions & b.permission)
            mode |= b.bit;
    }
    return mode;
}

} // namespace

// What is known of an entry: enough for its local header, its patch and its central record.
struct ZipWriter::LocalHeader
{
    QByteArray name;
    quint16 flags = 0;
    quint32 dosTime = 0;
    quint32 crc = 0;
    quint16 method = kMethodStored;
    quint64 size = 0; // uncompressed
    quint64 compressedSize = 0;
    qint64 offset = 0;
    quint32 externalAttributes = 0;
    bool isDirectory = false;
    bool zip64 = false; // the local header carries a zip64 extra field with the sizes

    // Appends the fields that the local and the central header share: version needed to
    // extract, flags, method, time and CRC-32.
    void appendSharedFields(QByteArray &out, bool needsZip64) const
    {
        appendLe16(out, needsZip64                  ? kVersionZip64
                        : isDirectory               ? kVersionDirectory
                        : method == kMethodDeflated ? kVersionDeflated
                                                    : kVersionStored);
        appendLe16(out, flags);
        appendLe16(out, method);
        appendLe32(out, dosTime);
        appendLe32(out, crc);
    }
};

ZipWriter::ZipWriter() = default;
ZipWriter::~ZipWriter() = default;

bool ZipWriter::open(QIODevice *device)
{
    m_error.clear();
    m_centralDirectory.clear();
    m_entryCount = 0;
    m_dataWritten = 0;
    m_device = nullptr;
    if (!device || !device->isWritable() || device->isSequential())
        return fail(QStringLiteral("the device is not open for writing or cannot seek"));
    m_device = device;
    m_offset = device->pos();
    if (m_buffer.size() != kBlockSize)
        m_buffer = QByteArray(kBlockSize, Qt::Uninitialized);
    return true;
}

// zlib's raw deflate stream of one entry.
struct ZipWriter::Deflater
{
    z_stream stream{};
    bool ready = false;

    explicit Deflater(int level)
    {
        ready = deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater()
    {
        if (ready)
            deflateEnd(&stream);
    }
};

bool ZipWriter::addFile(const QString &entryName, QFile &source, const QDateTime &modified,
                        int level)
{
    LocalHeader header = headerAtEnd(entryName, modified);
    if (!m_error.isEmpty())
        return false;
    header.externalAttributes = (kUnixRegularFile | unixMode(source.permissions())) << 16;
    header.zip64 = source.size() >= kZip64Threshold;
    if (level > 0) {
        header.method = kMethodDeflated;
        m_deflater = std::make_unique<Deflater>(qBound(1, level, 9));
        if (!m_deflater->ready)
            return fail(QStringLiteral("cannot start deflating %1").arg(entryName));
    }

    // A first block shorter than the buffer is the whole file: its header is complete at once.
    qint64 n = readBlock(source, header);
    bool written = n >= 0;
    const bool headerComplete = n < m_buffer.size();
    if (written && headerComplete)
        written = writeData(header, n, true) && writeLocalHeader(header) &&
                  writeBytes(m_deflater ? m_deflated.constData() : m_buffer.constData(),
                             m_deflater ? m_deflated.size() : n);
    else if (written)
        written = writeLocalHeader(header) && writeData(header, n, false);
    while (written && !headerComplete && n > 0) {
        n = readBlock(source, header);
        written = n >= 0 && writeData(header, n, n == 0);
    }
    m_deflater.reset();
    if (!written)
        return false;
    if (!header.zip64 && (header.size >= kMax32 || header.compressedSize >= kMax32)) {
        return fail(
            QStringLiteral("%1 grew past 4 GiB while it was packed").arg(source.fileName()));
    }
    if (!headerComplete && !patchLocalHeader(header))
        return false;
    appendCentralRecord(header);
    return true;
}

// Encodes the n bytes in the buffer as the entry's data (last: the end of the file) and
// counts them; a complete small entry (header not written yet) keeps its data in
// m_deflated, anything else is written at once.
bool ZipWriter::writeData(LocalHeader &header, qint64 n, bool last)
{
    if (!m_deflater) {
        header.compressedSize += quint64(n);
        return header.offset == m_offset || writeBytes(m_buffer.constData(), n);
    }
    const bool headerWritten = header.offset != m_offset;
    z_stream &stream = m_deflater->stream;
    stream.next_in = reinterpret_cast<Bytef *>(m_buffer.data());
    stream.avail_in = uInt(n);
    m_deflated.clear();
    int result = Z_OK;
    do {
        char out[64 * 1024];
        stream.next_out = reinterpret_cast<Bytef *>(out);
        stream.avail_out = sizeof out;
        result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
        if (result == Z_STREAM_ERROR)
            return fail(QStringLiteral("cannot deflate %1").arg(QString::fromUtf8(header.name)));
        const qint64 produced = qint64(sizeof out - stream.avail_out);
        header.compressedSize += quint64(produced);
        if (headerWritten) {
            if (!writeBytes(out, produced))
                return false;
        } else {
            m_deflated.append(out, int(produced));
        }
    } while (stream.avail_out == 0 || (last && result != Z_STREAM_END));
    return true;
}

bool ZipWriter::addDirectory(const QString &entryName, const QDateTime &modified,
                             QFileDevice::Permissions permissions)
{
    LocalHeader header = headerAtEnd(entryName, modified);
    if (!m_error.isEmpty())
        return false;
    header.externalAttributes =
        (kUnixDirectory | unixMode(permissions)) << 16 | kDosDirectoryAttribute;
    header.isDirectory = true;
    if (!writeLocalHeader(header))
        return false;
    appendCentralRecord(header);
    return true;
}

bool ZipWriter::close()
{
    if (!m_device || !m_error.isEmpty())
        return fail(QStringLiteral("the archive is not open"));
    const quint64 directoryOffset = quint64(m_offset);
    const quint64 directorySize = quint64(m_centralDirectory.size());
    const quint64 count = quint64(m_entryCount);
    QByteArray end;
    if (count >= kMax16 || directoryOffset >= kMax32 || directorySize >= kMax32) {
        const quint64 zip64EndOffset = directoryOffset + directorySize;
        appendLe32(end, kZip64EndOfCentralDirectorySignature);
        appendLe64(end, 44); // size of the rest of this record
        appendLe16(end, kVersionMadeBy);
        appendLe16(end, kVersionZip64);
        appendLe32(end, 0); // this disk
        appendLe32(end, 0); // disk holding the central directory
        appendLe64(end, count);
        appendLe64(end, count);
        appendLe64(end, directorySize);
        appendLe64(end, directoryOffset);
        appendLe32(end, kZip64EndLocatorSignature);
        appendLe32(end, 0); // disk holding the zip64 end record
        appendLe64(end, zip64EndOffset);
        appendLe32(end, 1); // disks in all
    }
    appendLe32(end, kEndOfCentralDirectorySignature);
    appendLe16(end, 0);
    appendLe16(end, 0);
    appendLe16(end, std::min(count, kMax16));
    appendLe16(end, std::min(count, kMax16));
    appendLe32(end, field32(directorySize));
    appendLe32(end, field32(directoryOffset));
    appendLe16(end, 0); // comment length

    const bool written = writeBytes(m_centralDirectory.constData(), m_centralDirectory.size()) &&
                         writeBytes(end.constData(), end.size());
    m_centralDirectory.clear();
    m_device = nullptr;
    return written;
}

QString ZipWriter::errorString() const
{
    return m_error;
}

// The header of an entry starting at the current end of the archive, its data still unknown;
// fails when the archive is not open or has failed.
ZipWriter::LocalHeader ZipWriter::headerAtEnd(const QString &entryName, const QDateTime &modified)
{
    LocalHeader header;
    if (!m_device && m_error.isEmpty())
        fail(QStringLiteral("the archive is not open"));
    header.name = entryName.toUtf8();
    header.flags = isPlainAscii(entryName) ? 0 : kFlagUtf8Name;
    header.dosTime = dosDateTime(modified);
    header.offset = m_offset;
    return header;
}

// Reads the next block of source into the buffer and adds it to the entry's CRC-32 and size;
// the number of bytes read, 0 at the end, -1 on a read error.
qint64 ZipWriter::readBlock(QFile &source, LocalHeader &header)
{
    const qint64 n = source.read(m_buffer.data(), m_buffer.size());
    if (n < 0) {
        fail(QStringLiteral("cannot read %1: %2").arg(source.fileName(), source.errorString()));
        return -1;
    }
    header.crc =
        quint32(crc32(header.crc, reinterpret_cast<const Bytef *>(m_buffer.constData()), uInt(n)));
    header.size += quint64(n);
    m_dataWritten += n;
    if (m_progress && n > 0)
        m_progress(m_dataWritten);
    return n;
}

bool ZipWriter::writeLocalHeader(const LocalHeader &header)
{
    if (header.name.size() > int(kMax16))
        return fail(QStringLiteral("entry name too long: %1").arg(QString::fromUtf8(header.name)));
    QByteArray out;
    out.reserve(kLocalHeaderSize + header.name.size() + kLocalZip64ExtraSize);
    appendLe32(out, kLocalHeaderSignature);
    header.appendSharedFields(out, header.zip64);
    appendLe32(out, header.zip64 ? kMax32 : header.compressedSize);
    appendLe32(out, header.zip64 ? kMax32 : header.size);
    appendLe16(out, header.name.size());
    appendLe16(out, header.zip64 ? kLocalZip64ExtraSize : 0);
    out.append(header.name);
    if (header.zip64) {
        appendLe16(out, kZip64ExtraTag);
        appendLe16(out, 16);
        appendLe64(out, header.size);
        appendLe64(out, header.compressedSize);
    }
    return writeBytes(out.constData(), out.size());
}

// Rewrites the CRC-32 and the sizes of a header written before its data was complete.
bool ZipWriter::patchLocalHeader(const LocalHeader &header)
{
    QByteArray fields;
    appendLe32(fields, header.crc);
    appendLe32(fields, header.zip64 ? kMax32 : header.compressedSize);
    appendLe32(fields, header.zip64 ? kMax32 : header.size);
    const qint64 end = m_offset;
    bool patched =
        m_device->seek(header.offset + kLocalCrcOffset) && m_device->write(fields) == fields.size();
    if (patched && header.zip64) {
        QByteArray sizes;
        appendLe64(sizes, header.size);
        appendLe64(sizes, header.compressedSize);
        patched = m_device->seek(header.offset + kLocalHeaderSize + header.name.size() + 4) &&
                  m_device->write(sizes) == sizes.size();
    }
    if (!m_device->seek(end) || !patched)
        return fail(QStringLiteral("cannot complete the header of %1: %2")
                        .arg(QString::fromUtf8(header.name), m_device->errorString()));
    return true;
}

void ZipWriter::appendCentralRecord(const LocalHeader &header)
{
    QByteArray extra;
    const bool sizesInExtra = header.size >= kMax32 || header.compressedSize >= kMax32;
    if (sizesInExtra) {
        appendLe64(extra, header.size);
        appendLe64(extra, header.compressedSize);
    }
    if (quint64(header.offset) >= kMax32)
        appendLe64(extra, quint64(header.offset));

    QByteArray &out = m_centralDirectory;
    appendLe32(out, kCentralHeaderSignature);
    appendLe16(out, kVersionMadeBy);
    header.appendSharedFields(out, header.zip64 || !extra.isEmpty());
    appendLe32(out, sizesInExtra ? kMax32 : header.compressedSize);
    appendLe32(out, sizesInExtra ? kMax32 : header.size);
    appendLe16(out, header.name.size());
    appendLe16(out, extra.isEmpty() ? 0 : extra.size() + 4);
    appendLe16(out, 0); // comment length
    appendLe16(out, 0); // disk
    appendLe16(out, 0); // internal attributes
    appendLe32(out, header.externalAttributes);
    appendLe32(out, field32(quint64(header.offset)));
    out.append(header.name);
    if (!extra.isEmpty()) {
        appendLe16(out, kZip64ExtraTag);
        appendLe16(out, extra.size());
        out.append(extra);
    }
    ++m_entryCount;
}

bool ZipWriter::writeBytes(const char *data, qint64 size)
{
    if (m_device->write(data, size) != size)
        return fail(QStringLiteral("cannot write the archive: %1").arg(m_device->errorString()));
    m_offset += size;
    return true;
}

bool ZipWriter::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
    return false;
}
