#include "netmanager/fileslicedevice_p.h"

FileSliceDevice::FileSliceDevice(const QString &path, qint64 offset, qint64 length)
    : m_file(path), m_offset(offset), m_length(length)
{}

bool FileSliceDevice::open(OpenMode mode)
{
    if ((mode & WriteOnly) || !m_file.open(QIODevice::ReadOnly) ||
        m_file.size() < m_offset + m_length || !m_file.seek(m_offset)) {
        m_file.close();
        return false;
    }
    m_hash.reset();
    m_hashed = 0;
    m_hashValid = true;
    // Unbuffered: the network stack reads in chunks of its own, a second buffer only copies.
    return QIODevice::open(ReadOnly | Unbuffered);
}

void FileSliceDevice::close()
{
    QIODevice::close();
    m_file.close();
}

bool FileSliceDevice::seek(qint64 pos)
{
    if (pos < 0 || pos > m_length || !m_file.seek(m_offset + pos))
        return false;
    if (pos == 0) {
        // Sent again from the start (a resent request): hash again too.
        m_hash.reset();
        m_hashed = 0;
        m_hashValid = true;
    }
    return QIODevice::seek(pos);
}

qint64 FileSliceDevice::readData(char *data, qint64 maxSize)
{
    const qint64 start = pos();
    const qint64 wanted = qMin(maxSize, m_length - start);
    if (wanted <= 0)
        return 0;
    if (m_file.pos() != m_offset + start && !m_file.seek(m_offset + start))
        return -1;
    const qint64 read = m_file.read(data, wanted);
    if (read <= 0)
        return read;
    if (start > m_hashed) {
        m_hashValid = false;
    } else if (start + read > m_hashed) {
        const qint64 fresh = start + read - m_hashed;
        m_hash.addData(data + (m_hashed - start), int(fresh));
        m_hashed += fresh;
    }
    return read;
}

QByteArray FileSliceDevice::md5Hex() const
{
    if (!m_hashValid || m_hashed != m_length)
        return QByteArray();
    return m_hash.result().toHex();
}
