#ifndef ZIPREADER_P_H
#define ZIPREADER_P_H

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

#include <functional>

// Internal to the library: reads the central directory of a zip archive and the data of its
// entries, stored or deflated. Written by hand, the read path of ZipWriter reversed, because
// the reader that QuaZip brings is minizip under the names every minizip has: in a process
// that also loads the system's minizip (as browser engines do, and the host shows its editor
// in one) the dynamic linker hands QuaZip's calls to the other copy, whose structures differ,
// and the first package read crashes the host. It also hands out what QuaZip keeps to itself:
// the raw bytes of a name and its extra fields, and a deflate stream that stops at the size
// its entry declares.
class ZipReader
{
public:
    struct Entry
    {
        QByteArray rawName;
        QByteArray extra; // the central record's extra fields
        quint16 versionMadeBy = 0;
        quint16 flags = 0;
        quint16 method = 0;
        quint32 crc = 0;
        quint64 compressedSize = 0;
        quint64 uncompressedSize = 0;
        quint64 localHeaderOffset = 0;
        quint32 externalAttributes = 0;
    };

    static constexpr quint16 kMethodStored = 0;
    static constexpr quint16 kMethodDeflated = 8;
    static constexpr quint16 kFlagEncrypted = 1;
    static constexpr quint16 kFlagUtf8Name = 1 << 11;

    explicit ZipReader(const QString &path);

    // Reads the end records and the central directory; false, with *error, when the file is
    // not a zip archive that can be read.
    bool open(QString *error);
    const QVector<Entry> &entries() const { return m_entries; }

    // Streams the data of entry through consume in blocks, never more than the size the entry
    // declares. False, with *error, when the local header does not match, the data lies outside
    // the archive, the method is unknown, the data is longer or shorter than declared, the
    // CRC-32 differs, or consume returns false.
    bool read(const Entry &entry, const std::function<bool(const char *, qint64)> &consume,
              QString *error);

private:
    bool readEndRecords(qint64 *directoryOffset, qint64 *directorySize, qint64 *count,
                        QString *error);
    bool readCentralDirectory(qint64 offset, qint64 size, qint64 count, QString *error);
    qint64 dataOffset(const Entry &entry, QString *error);
    bool readStored(const Entry &entry, const std::function<bool(const char *, qint64)> &consume,
                    quint32 *crc, QString *error);
    bool readDeflated(const Entry &entry, const std::function<bool(const char *, qint64)> &consume,
                      quint32 *crc, QString *error);

    QFile m_file;
    qint64 m_size = 0;
    QVector<Entry> m_entries;
    QByteArray m_in;
    QByteArray m_out;
};

#endif // ZIPREADER_P_H
