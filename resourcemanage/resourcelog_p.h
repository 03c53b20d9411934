#ifndef RESOURCELOG_P_H
#define RESOURCELOG_P_H

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcResource)

// A transfer record as one line of JSON, for the log.
inline QString recordText(const QJsonObject &record)
{
    return QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
}

// The record's "dest" text; empty when the key is missing or not a JSON string.
inline QString recordDest(const QJsonObject &record)
{
    const QJsonValue dest = record.value(QLatin1String("dest"));
    return dest.isString() ? dest.toString() : QString();
}

#endif // RESOURCELOG_P_H
