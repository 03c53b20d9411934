#ifndef RESOURCELOG_P_H
#define RESOURCELOG_P_H

#include <QJsonObject>
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcResource)

// The record's "dest" text; empty when the key is missing or not a JSON string.
inline QString recordDest(const QJsonObject &record)
{
    const QJsonValue dest = record.value(QLatin1String("dest"));
    return dest.isString() ? dest.toString() : QString();
}

#endif // RESOURCELOG_P_H
