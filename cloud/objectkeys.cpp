#include "objectkeys.h"

#include <QList>
#include <QTextCodec>

namespace ObjectKeys {

namespace {

const int kMaxKeyBytes = 1024;
// A file name may hold 255 bytes; the "@" of a file and some room remain.
const int kMaxEncodedSegment = 240;

bool needsEscape(char c, bool last)
{
    switch (c) {
    case '%':
    case '@':
    case '<':
    case '>':
    case ':':
    case '"':
    case '|':
    case '?':
    case '*':
        return true;
    case '.':
    case ' ':
        return last;
    default:
        return false;
    }
}

QString encodedSegment(const QByteArray &segment)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve(segment.size());
    for (int i = 0; i < segment.size(); ++i) {
        const char c = segment.at(i);
        if (!needsEscape(c, i == segment.size() - 1)) {
            encoded += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += hex[byte >> 4];
        encoded += hex[byte & 0xf];
    }
    return QString::fromUtf8(encoded);
}

bool decodedSegment(const QString &name, QByteArray *segment)
{
    const QByteArray utf8 = name.toUtf8();
    if (utf8.contains('@'))
        return false;
    *segment = QByteArray::fromPercentEncoding(utf8);
    // Only the form encodedSegment writes is accepted, so that one key has one name.
    return encodedSegment(*segment) == name;
}

bool isUtf8(const QByteArray &bytes)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

} // namespace

QString refusal(const QByteArray &key)
{
    if (key.isEmpty())
        return QStringLiteral("the key is empty");
    if (key.size() > kMaxKeyBytes)
        return QStringLiteral("the key is longer than %1 bytes").arg(kMaxKeyBytes);
    for (const char c : key) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return QStringLiteral("the key holds a control character");
        if (c == '\\')
            return QStringLiteral("the key holds a backslash");
    }
    if (!isUtf8(key))
        return QStringLiteral("the key is not UTF-8");
    const QList<QByteArray> segments = key.split('/');
    for (int i = 0; i < segments.size(); ++i) {
        const QByteArray &segment = segments.at(i);
        if (segment == "." || segment == "..")
            return QStringLiteral("the key has a \".\" or \"..\" segment");
        if (segment.isEmpty() && i != segments.size() - 1)
            return QStringLiteral("the key has an empty segment");
        if (encodedSegment(segment).toUtf8().size() > kMaxEncodedSegment)
            return QStringLiteral("a segment of the key is too long");
    }
    return QString();
}

QString filePath(const QByteArray &key)
{
    const QList<QByteArray> segments = key.split('/');
    QString path;
    for (int i = 0; i < segments.size() - 1; ++i)
        path += encodedSegment(segments.at(i)) + QLatin1Char('/');
    return path + encodedSegment(segments.last()) + QLatin1Char('@');
}

bool segmentOfDirectory(const QString &name, QByteArray *segment)
{
    return !name.isEmpty() && decodedSegment(name, segment);
}

bool segmentOfFile(const QString &name, QByteArray *segment)
{
    return name.endsWith(QLatin1Char('@')) && decodedSegment(name.chopped(1), segment);
}

QString directoryOfPrefix(const QByteArray &prefix)
{
    const int lastSlash = prefix.lastIndexOf('/');
    if (lastSlash < 0)
        return QString();
    QString path;
    for (const QByteArray &segment : prefix.left(lastSlash).split('/')) {
        if (segment.isEmpty() || segment == "." || segment == "..")
            return QString(); // no key lies there; the walk from the top finds none either
        path += encodedSegment(segment) + QLatin1Char('/');
    }
    return path;
}

} // namespace ObjectKeys
