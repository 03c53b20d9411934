#ifndef ZIPWRITER_P_H
#define ZIPWRITER_P_H

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <functional>
#include <memory>

class QDateTime;
class QFile;
class QIODevice;

// Writes a zip archive onto a seekable device, its entries stored (method 0) or deflated.
// Written by hand because QuaZip's writer copies stored data into the archive one byte at a
// time (packing 512 MiB spent 40% of its time in that loop and took 0.55x to 0.7x the time
// of `zip -0`) and leaves the UTF-8 flag off the names of deflated entries, so that other
// unzippers misread them. This one streams large blocks, computing the CRC-32 on the way,
// deflates with zlib, and patches each local header once the data is written.
class ZipWriter
{
public:
    // Sizes from this one on get zip64 fields in the local header: the header is written before
    // the file is read, so the margin leaves room for a file that grows while it is packed.
    static constexpr qint64 kZip64Threshold = Q_INT64_C(0xF0000000);

    ZipWriter();
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    // Starts an archive at the current end of device, which must be open for writing and
    // seekable, and stay so until close(). False when it is not.
    bool open(QIODevice *device);

    // Appends source, open for reading, as the entry entryName ("dir/file.ext") with the
    // given modification time and source's permissions: stored for level 0, deflated at
    // level 1 to 9. False on a read or write error.
    bool addFile(const QString &entryName, QFile &source, const QDateTime &modified, int level = 0);

    // Called after each block of file data written, with the count of data bytes so far.
    void setProgressHandler(std::function<void(qint64 dataWritten)> handler)
    {
        m_progress = std::move(handler);
    }

    // Appends the entry entryName, which ends in "/", for a directory. False on a write error.
    bool addDirectory(const QString &entryName, const QDateTime &modified,
                      QFileDevice::Permissions permissions);

    // Writes the central directory and the end records; the device stays open. False on a
    // write error or when an earlier call failed.
    bool close();

    // Why the archive failed: after a failure every further call fails too. Empty when
    // nothing has failed since open().
    QString errorString() const;

private:
    struct LocalHeader;

    LocalHeader headerAtEnd(const QString &entryName, const QDateTime &modified);
    qint64 readBlock(QFile &source, LocalHeader &header);
    bool writeData(LocalHeader &header, qint64 n, bool last);
    bool writeLocalHeader(const LocalHeader &header);
    bool patchLocalHeader(const LocalHeader &header);
    void appendCentralRecord(const LocalHeader &header);
    bool writeBytes(const char *data, qint64 size);
    bool fail(const QString &message);

    QIODevice *m_device = nullptr;
    std::function<void(qint64)> m_progress;
    qint64 m_dataWritten = 0;
    QByteArray m_buffer;
    QByteArray m_deflated;
    struct Deflater;
    std::unique_ptr<Deflater> m_deflater; // while a deflated entry is written
    QByteArray m_centralDirectory;
    qint64 m_entryCount = 0;
    qint64 m_offset = 0;
    QString m_error;
};

#endif // ZIPWRITER_P_H
