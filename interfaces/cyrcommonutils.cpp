#include "interfaces/cyrcommonutils.h"
#include "interfaces/filestream_p.h"
#include "interfaces/packagewriter_p.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QSaveFile>

namespace {

Q_LOGGING_CATEGORY(lcUtils, "yrdata.utils")

constexpr int kThumbnailEdge = 120;

// Images that claim more pixels than this are refused rather than decoded: a forged header
// would otherwise make the decoder allocate gigabytes.
constexpr qint64 kMaxThumbnailSourcePixels = Q_INT64_C(128) * 1024 * 1024;

// The suffixes whose small copies the resource manager also deletes with the image.
const QStringList &thumbnailSuffixes()
{
    static const QStringList suffixes = {QStringLiteral("bmp"),  QStringLiteral("jpg"),
                                         QStringLiteral("jpeg"), QStringLiteral("png"),
                                         QStringLiteral("ico"),  QStringLiteral("cur")};
    return suffixes;
}

bool isPathSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

QSize thumbnailSize(const QSize &source)
{
    if (source.width() <= kThumbnailEdge && source.height() <= kThumbnailEdge)
        return source;
    QSize scaled = source.scaled(kThumbnailEdge, kThumbnailEdge, Qt::KeepAspectRatio);
    return scaled.expandedTo(QSize(1, 1));
}

} // namespace

QString CYrCommonUtils::getFileMD5(const QString &filePath)
{
    QFile file(filePath);
    if (QFileInfo(filePath).isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    QByteArray buffer(int(YRFileStream::kBlockSize), Qt::Uninitialized);
    const bool complete =
        YRFileStream::streamFileBlocks(file, buffer, [&hash](const char *data, qint64 n) {
            hash.addData(data, int(n));
            return true;
        });
    if (!complete) {
        qCWarning(lcUtils).noquote()
            << "CYrCommonUtils::getFileMD5" << filePath << file.errorString();
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}

QString CYrCommonUtils::JoinPathFileName(const QString &path, const QString &fileName)
{
    if (path.isEmpty())
        return fileName;
    if (fileName.isEmpty())
        return path;
    int pathEnd = path.size();
    while (pathEnd > 0 && isPathSeparator(path.at(pathEnd - 1)))
        --pathEnd;
    int nameStart = 0;
    while (nameStart < fileName.size() && isPathSeparator(fileName.at(nameStart)))
        ++nameStart;
    return path.leftRef(pathEnd) + QLatin1Char('/') + fileName.midRef(nameStart);
}

bool CYrCommonUtils::compressDir_level(const QString &fileCompressed, const QString &dir,
                                       bool recursive, int level)
{
    QString error;
    if (YRPackageWriter::writeDirectoryArchive(fileCompressed, dir, recursive, level, &error))
        return true;
    qCWarning(lcUtils).noquote() << "CYrCommonUtils::compressDir_level" << error;
    return false;
}

QString CYrCommonUtils::smallCopyPath(const QString &filePath)
{
    const QFileInfo source(filePath);
    // Whole suffixes only, so that "x.b" or a file without a suffix never names some other
    // "_small." file.
    if (source.completeBaseName().endsWith(QLatin1String("_small")) ||
        !thumbnailSuffixes().contains(source.suffix().toLower()))
        return QString();
    return source.absolutePath() + QLatin1Char('/') + source.completeBaseName() +
           QLatin1String("_small.") + source.suffix();
}

bool CYrCommonUtils::copyImageTo120_120px(const QString &filePath)
{
    const QFileInfo source(filePath);
    const QString suffix = source.suffix();
    const QString format = suffix.toLower();
    const QString smallPath = smallCopyPath(filePath);
    if (!source.isFile() || smallPath.isEmpty() ||
        !QImageReader::supportedImageFormats().contains(format.toLatin1()) ||
        !QImageWriter::supportedImageFormats().contains(format.toLatin1()))
        return false;

    QImageReader reader(filePath);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return false;
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxThumbnailSourcePixels) {
        qCWarning(lcUtils).noquote() << "CYrCommonUtils::copyImageTo120_120px"
                                     << "refused image size" << filePath << size;
        return false;
    }
    reader.setScaledSize(thumbnailSize(size));
    const QImage image = reader.read();
    if (image.isNull()) {
        qCWarning(lcUtils).noquote()
            << "CYrCommonUtils::copyImageTo120_120px" << filePath << reader.errorString();
        return false;
    }

    QSaveFile out(smallPath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&out, format.toLatin1());
    if (!writer.write(image) || !out.commit()) {
        qCWarning(lcUtils).noquote() << "CYrCommonUtils::copyImageTo120_120px" << smallPath
                                     << writer.errorString() << out.errorString();
        return false;
    }
    return true;
}
