#include "netmanager/storeprotocol_p.h"

#include "netmanager/awssigv4.h"
#include "netmanager/networkcontext_p.h"

#include <QDateTime>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

YRSigV4::Credentials credentialsOf(const StoreAccess &store)
{
    YRSigV4::Credentials credentials;
    credentials.accessKeyId = store.accessKeyId;
    credentials.secretAccessKey = store.secretAccessKey;
    if (!store.region.isEmpty())
        credentials.region = store.region;
    return credentials;
}

// Every element called name, stopping after the first when first is true.
QStringList elementTexts(const QByteArray &xml, const QString &name, bool first)
{
    QStringList texts;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != name)
            continue;
        texts.append(reader.readElementText(QXmlStreamReader::IncludeChildElements));
        if (first)
            break;
    }
    return texts;
}

} // namespace

namespace StoreProtocol {

QByteArray emptyPayloadHash()
{
    return YRSigV4::sha256Hex(QByteArray());
}

QByteArray unsignedPayload()
{
    return QByteArray(YRSigV4::kUnsignedPayload);
}

QByteArray sha256Hex(const QByteArray &bytes)
{
    return YRSigV4::sha256Hex(bytes);
}

QByteArray md5OfEtag(const QByteArray &etag)
{
    QByteArray value = etag.trimmed();
    if (value.startsWith("W/"))
        return QByteArray();
    value.replace('"', QByteArray());
    static const QRegularExpression md5(QStringLiteral("^[0-9a-fA-F]{32}$"));
    return md5.match(QString::fromLatin1(value)).hasMatch() ? value.toLower() : QByteArray();
}

void sign(QNetworkRequest &request, const QByteArray &method, const QByteArray &payloadHash,
          const StoreAccess &store)
{
    const YRSigV4::HeaderList headers =
        YRSigV4::signedHeaders(method, request.url(), YRSigV4::HeaderList(), payloadHash,
                               credentialsOf(store), QDateTime::currentDateTimeUtc());
    for (const auto &header : headers) {
        // Qt writes the same host header itself from the address.
        if (header.first != "host")
            request.setRawHeader(header.first, header.second);
    }
}

QString downloadToken(const StoreAccess &store, const QString &label, qint64 expires)
{
    return YRSigV4::downloadToken(credentialsOf(store), label, expires);
}

QString xmlText(const QByteArray &xml, const QString &name)
{
    const QStringList texts = elementTexts(xml, name, true);
    return texts.isEmpty() ? QString() : texts.first();
}

QStringList xmlTexts(const QByteArray &xml, const QString &name)
{
    return elementTexts(xml, name, false);
}

bool isXmlError(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            return reader.name() == QLatin1String("Error");
    }
    return false;
}

QByteArray xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

} // namespace StoreProtocol
