#include "netmanager/yrcloudplan.h"

#include <QJsonArray>

namespace {

qint64 numberOf(const QJsonValue &value)
{
    return value.isString() ? value.toString().toLongLong() : qint64(value.toDouble());
}

YRCloudPlan planOf(const QJsonObject &record)
{
    YRCloudPlan plan;
    plan.id = int(numberOf(record.value(QLatin1String("p_id"))));
    plan.title = record.value(QLatin1String("p_title")).toString();
    plan.stepCount = int(numberOf(record.value(QLatin1String("p_stepnum"))));
    plan.date = numberOf(record.value(QLatin1String("p_date")));
    plan.jsonPath = record.value(QLatin1String("p_jsonroad")).toString();
    plan.record = record;
    return plan;
}

} // namespace

QString YRCloudPlan::listApi()
{
    return QStringLiteral("api/teaplan/list");
}

QVector<YRCloudPlan> YRCloudPlan::listedIn(const QJsonObject &reply)
{
    QVector<YRCloudPlan> plans;
    for (const QJsonValue &record : reply.value(QLatin1String("data")).toArray())
        plans.append(planOf(record.toObject()));
    return plans;
}
