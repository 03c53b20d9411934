#ifndef FILESTREAM_P_H
#define FILESTREAM_P_H

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// Internal to the library: reading a file in large blocks, for hashing and packing.

namespace YRFileStream {

// Large enough that the per-call overhead of reading and hashing vanishes, small enough that
// memory stays flat however big the file is.
constexpr qint64 kBlockSize = 1024 * 1024;

// Reads file in blocks of buffer's size and hands each one to consume(data, n); false on a
// read error or when consume refuses a block.
template <typename Consumer>
bool streamFileBlocks(QFile &file, QByteArray &buffer, Consumer consume)
{
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!consume(buffer.constData(), n))
            return false;
    }
}

// Whether path is (or links to) a regular file: not a directory, device, FIFO or socket, which
// QFileInfo cannot always tell from a file.
inline bool isRegularFile(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status;
    return ::stat(QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData(), &status) ==
               0 &&
           S_ISREG(status.st_mode);
#else
    return QFileInfo(path).isFile();
#endif
}

} // namespace YRFileStream

#endif // FILESTREAM_P_H
