#ifndef ARCHIVES_H
#define ARCHIVES_H

// Archives written entry by entry, the way a hostile or foreign tool could write them, and the
// trees that commands leave behind.

#include "support/planfixtures.h"

#include <QDirIterator>
#include <QMap>
#include <QRandomGenerator>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <zlib.h>

#include <sys/stat.h>

namespace Archives {

constexpr quint32 kUnixRegularFile = 0100644;
constexpr quint32 kUnixSymbolicLink = 0120777;

struct Entry
{
    QString name;
    QByteArray content; // for a link: its target
    quint32 unixMode = kUnixRegularFile;
    QByteArray extra;         // central and local extra fields
    qint64 declaredSize = -1; // when set, content is a raw deflate stream declaring this size
};

// Writes entries as given, names encoded with codec (UTF-8 flag set when codec is null).
inline bool writeArchive(const QString &path, const QVector<Entry> &entries,
                         const char *codec = nullptr)
{
    QuaZip zip(path);
    if (codec)
        zip.setFileNameCodec(codec);
    else
        zip.setUtf8Enabled(true);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const Entry &entry : entries) {
        QuaZipNewInfo info(entry.name);
        info.externalAttr = entry.unixMode << 16;
        info.extraLocal = info.extraGlobal = entry.extra;
        const bool raw = entry.declaredSize >= 0;
        if (raw)
            info.uncompressedSize = ulong(entry.declaredSize);
        zip.setZip64Enabled(entry.declaredSize > 0xffffffffLL);
        QuaZipFile out(&zip);
        if (!out.open(QIODevice::WriteOnly, info, nullptr, 0, raw ? Z_DEFLATED : 0, 0, raw) ||
            out.write(entry.content) != entry.content.size())
            return false;
        out.close();
        if (out.getZipError() != ZIP_OK)
            return false;
    }
    zip.close();
    return zip.getZipError() == ZIP_OK;
}

// Relative path -> content of everything below root (hidden files too); directories map to
// "<dir>", links to "<link>" and FIFOs to "<special>", so that none can pass for a file.
inline QMap<QString, QByteArray> treeContent(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        struct stat status;
        const bool regular =
            lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
        tree.insert(QDir(root).relativeFilePath(path), info.isSymLink() ? QByteArray("<link>")
                                                       : info.isDir()   ? QByteArray("<dir>")
                                                       : regular ? PlanFixtures::readAll(path)
                                                                 : QByteArray("<special>"));
    }
    return tree;
}

inline QByteArray randomBytes(int size, quint32 seed = 42)
{
    QVector<quint32> words((size + 3) / 4);
    QRandomGenerator(seed).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

} // namespace Archives

#endif // ARCHIVES_H
