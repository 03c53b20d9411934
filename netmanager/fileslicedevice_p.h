#ifndef FILESLICEDEVICE_P_H
#define FILESLICEDEVICE_P_H

#include <QCryptographicHash>
#include <QFile>
#include <QIODevice>

// A read-only window [offset, offset + length) of a file, read as the network sends it, so
// that an upload never holds the file in memory. It keeps the MD5 of the bytes read in order
// from the start, which the caller compares with the store's ETag.
class FileSliceDevice : public QIODevice
{
public:
    FileSliceDevice(const QString &path, qint64 offset, qint64 length);

    // Opens the file for reading; false when it cannot be read or is shorter than the window.
    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_length; }
    bool seek(qint64 pos) override;
    bool atEnd() const override { return pos() >= m_length; }

    // The lower-case hex MD5 of the window once every byte was read in order; empty when the
    // bytes were not all read, or were read out of order.
    QByteArray md5Hex() const;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QFile m_file;
    qint64 m_offset;
    qint64 m_length;
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    qint64 m_hashed = 0;
    bool m_hashValid = true;
};

#endif // FILESLICEDEVICE_P_H
