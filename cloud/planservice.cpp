#include "planservice.h"

#include "awssigv4.h"
#include "buckets.h"
#include "cloudlog.h"
#include "database.h"
#include "planfiles.h"

#include "plandata/yrplandata.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSqlQuery>
#include <QUrl>

namespace {

// A plan document larger than this is not one the library wrote.
const qint64 kMaxDocumentBytes = 64 * 1024 * 1024;
// How long the addresses of a question's pictures stay valid.
const int kPictureUrlSeconds = 7 * 24 * 3600;

ApiReply failure(int status, const QString &message)
{
    return {status,
            QJsonObject{{QStringLiteral("success"), false}, {QStringLiteral("message"), message}},
            message};
}

ApiReply success(const QJsonValue &data = QJsonValue::Undefined)
{
    QJsonObject body{{QStringLiteral("success"), true}};
    if (!data.isUndefined())
        body.insert(QStringLiteral("data"), data);
    return {200, body, QString()};
}

ApiReply databaseFailure()
{
    return failure(500, QStringLiteral("the server's database failed"));
}

ApiReply planIdReply(qint64 id)
{
    return success(QJsonObject{{QStringLiteral("planid"), QString::number(id)}});
}

QString uidText(const CloudUser &user)
{
    return QString::number(user.uid);
}

// Reads the decimal parameter name into *value; false (with the refusal in *reply) when it is
// missing or not a number.
bool numberParam(const QMap<QString, QString> &params, const QString &name, qint64 *value,
                 ApiReply *reply)
{
    bool ok = false;
    *value = params.value(name).toLongLong(&ok);
    if (!ok)
        *reply = failure(400, QStringLiteral("%1 must be a decimal number").arg(name));
    return ok;
}

// The record's fields from the controller's parameters.
bool recordFromParams(const CloudUser &user, const QMap<QString, QString> &params,
                      PlanRecord *record, ApiReply *reply)
{
    if (params.value(QStringLiteral("p_author")) != uidText(user)) {
        *reply = failure(403, QStringLiteral("p_author \"%1\" is not the signed-in user %2")
                                  .arg(params.value(QStringLiteral("p_author")), uidText(user)));
        return false;
    }
    record->uid = user.uid;
    record->title = params.value(QStringLiteral("p_title"));
    record->jsonmd5 = params.value(QStringLiteral("p_jsonmd5"));
    record->rethink = params.value(QStringLiteral("p_rethink"));
    record->version = params.value(QStringLiteral("p_version"));
    return numberParam(params, QStringLiteral("p_block"), &record->block, reply) &&
           numberParam(params, QStringLiteral("p_board"), &record->board, reply) &&
           numberParam(params, QStringLiteral("p_date"), &record->date, reply) &&
           numberParam(params, QStringLiteral("p_stepnum"), &record->stepnum, reply);
}

// Whether jsonroad is a document path below the user's own folder: "UID/…", relative, with
// no "." or ".." segment and no backslash.
bool isOwnJsonroad(const CloudUser &user, const QString &jsonroad)
{
    if (!jsonroad.startsWith(uidText(user) + QLatin1Char('/')) ||
        jsonroad.contains(QLatin1Char('\\')) || jsonroad.contains(QChar(0)))
        return false;
    const QStringList segments = jsonroad.split(QLatin1Char('/'));
    for (const QString &segment : segments) {
        if (segment.isEmpty() || segment == QLatin1String(".") || segment == QLatin1String(".."))
            return false;
    }
    return segments.size() >= 2;
}

QJsonObject listedPlan(const PlanRecord &record)
{
    return {{QStringLiteral("p_id"), record.id},
            {QStringLiteral("p_title"), record.title},
            {QStringLiteral("p_stepnum"), record.stepnum},
            {QStringLiteral("p_date"), record.date},
            {QStringLiteral("p_jsonroad"), record.jsonroad}};
}

// Whether the library can open the document: version 4.0 (which it converts) or 5.0.
bool isOpenableDocument(const QByteArray &document)
{
    YRPlanData plan;
    return plan.setJson(QString::fromUtf8(document));
}

} // namespace

PlanService::PlanService(Database *database, PlanFiles *files, const StorageEndpoint &storage)
    : m_database(database), m_files(files), m_storage(storage), m_plans(database),
      m_questions(database)
{}

ApiReply PlanService::session(const CloudUser &user) const
{
    const QJsonObject storage{{QStringLiteral("endpoint"), m_storage.url},
                              {QStringLiteral("region"), m_storage.region},
                              {QStringLiteral("accessKeyId"), user.accessKeyId},
                              {QStringLiteral("secretAccessKey"), user.secretAccessKey}};
    return {200,
            QJsonObject{{QStringLiteral("uid"), uidText(user)},
                        {QStringLiteral("ResourceDomain"), Buckets::resourceDomain(m_storage.url)},
                        {QStringLiteral("storage"), storage}},
            QString()};
}

ApiReply PlanService::health()
{
    QSqlQuery query(m_database->connection());
    if (!query.exec(QStringLiteral("SELECT 1")))
        return {503, QJsonObject{{QStringLiteral("status"), QStringLiteral("unavailable")}},
                QStringLiteral("the database does not answer")};
    return {200, QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}}, QString()};
}

ApiReply PlanService::handle(const CloudUser &user, const QByteArray &method, const QString &api,
                             const QMap<QString, QString> &params)
{
    struct Route
    {
        const char *api;
        const char *method;
    };
    static const Route routes[] = {{"createplan", "POST"}, {"updatePlan", "POST"},
                                   {"deleteplan", "POST"}, {"Translateplan", "GET"},
                                   {"onequeinfo", "GET"},  {"list", "GET"}};
    for (const Route &route : routes) {
        if (api != QLatin1String(route.api))
            continue;
        if (method != route.method)
            return failure(
                405, QStringLiteral("%1 is asked with %2").arg(api, QLatin1String(route.method)));
        if (api == QLatin1String("createplan"))
            return createPlan(user, params);
        if (api == QLatin1String("updatePlan"))
            return updatePlan(user, params);
        if (api == QLatin1String("deleteplan"))
            return deletePlan(user, params);
        if (api == QLatin1String("Translateplan"))
            return translatePlan(user, params);
        if (api == QLatin1String("onequeinfo"))
            return questionInfo(user, params);
        return listPlans(user);
    }
    return failure(404, QStringLiteral("there is no api/teaplan/%1").arg(api));
}

ApiReply PlanService::createPlan(const CloudUser &user, const QMap<QString, QString> &params)
{
    PlanRecord record;
    ApiReply reply;
    if (!recordFromParams(user, params, &record, &reply))
        return reply;
    record.jsonroad = params.value(QStringLiteral("p_jsonroad"));
    if (record.jsonroad.isEmpty())
        return failure(400, QStringLiteral("p_jsonroad is missing"));
    if (!isOwnJsonroad(user, record.jsonroad))
        return failure(403, QStringLiteral("p_jsonroad \"%1\" does not lie below %2/")
                                .arg(record.jsonroad, uidText(user)));
    switch (m_plans.create(&record)) {
    case PlanRecords::Outcome::Done:
        return planIdReply(record.id);
    case PlanRecords::Outcome::NotYours:
        return failure(403, QStringLiteral("the plan at %1 is not yours").arg(record.jsonroad));
    default:
        return databaseFailure();
    }
}

bool PlanService::ownPlan(const CloudUser &user, const QString &idText, PlanRecord *record,
                          ApiReply *reply)
{
    bool ok = false;
    const qint64 id = idText.toLongLong(&ok);
    if (!ok) {
        *reply = failure(400, QStringLiteral("the plan id \"%1\" is not a number").arg(idText));
        return false;
    }
    switch (m_plans.find(id, record)) {
    case PlanRecords::Outcome::Done:
        if (record->uid == user.uid)
            return true;
        *reply = failure(403, QStringLiteral("plan %1 is not yours").arg(id));
        return false;
    case PlanRecords::Outcome::NotFound:
        *reply = failure(404, QStringLiteral("there is no plan %1").arg(id));
        return false;
    default:
        *reply = databaseFailure();
        return false;
    }
}

ApiReply PlanService::updatePlan(const CloudUser &user, const QMap<QString, QString> &params)
{
    PlanRecord stored;
    ApiReply reply;
    if (!ownPlan(user, params.value(QStringLiteral("p_id")), &stored, &reply))
        return reply;
    PlanRecord record;
    if (!recordFromParams(user, params, &record, &reply))
        return reply;
    record.id = stored.id;
    if (m_plans.update(record) != PlanRecords::Outcome::Done)
        return databaseFailure();
    return planIdReply(record.id);
}

ApiReply PlanService::translatePlan(const CloudUser &user, const QMap<QString, QString> &params)
{
    if (params.value(QStringLiteral("uid")) != uidText(user))
        return failure(403, QStringLiteral("uid \"%1\" is not the signed-in user %2")
                                .arg(params.value(QStringLiteral("uid")), uidText(user)));
    PlanRecord record;
    ApiReply reply;
    if (!ownPlan(user, params.value(QStringLiteral("planid")), &record, &reply)) {
        // A plan the service does not hold is one it cannot convert; the controller reads
        // that from the answer, not from an error.
        if (reply.status == 404)
            reply.status = 200;
        return reply;
    }
    QByteArray document;
    QString error;
    if (!m_files->read(QLatin1String(Buckets::kPlanDocuments),
                       QByteArrayLiteral("plan/") + record.jsonroad.toUtf8(), kMaxDocumentBytes,
                       &document, &error))
        return failure(
            200, QStringLiteral("plan %1 has no stored document: %2").arg(record.id).arg(error));
    if (!isOpenableDocument(document))
        return failure(200, QStringLiteral("plan %1 is older than version 4.0; it cannot be "
                                           "converted here")
                                .arg(record.id));
    return success(QJsonObject{{QStringLiteral("p_jsonroad"), record.jsonroad},
                               {QStringLiteral("p_title"), record.title}});
}

ApiReply PlanService::questionInfo(const CloudUser &user, const QMap<QString, QString> &params)
{
    if (params.value(QStringLiteral("uid")) != uidText(user))
        return failure(403, QStringLiteral("uid \"%1\" is not the signed-in user %2")
                                .arg(params.value(QStringLiteral("uid")), uidText(user)));
    const QString id = params.value(QStringLiteral("questionId"));
    const std::optional<Question> question = m_questions.find(id);
    if (!question)
        return failure(404, QStringLiteral("there is no question %1").arg(id));
    // Each picture's address is presigned for the user, so that it can be fetched as it is.
    const YRSigV4::Credentials credentials{user.accessKeyId, user.secretAccessKey, m_storage.region,
                                           QStringLiteral("s3")};
    QJsonArray pictures;
    for (const QString &key : question->pictureKeys) {
        const QUrl address(m_storage.url + QLatin1Char('/') + QLatin1String(Buckets::kQuestion) +
                           QLatin1Char('/') + QString::fromUtf8(QUrl::toPercentEncoding(key, "/")));
        pictures.append(YRSigV4::presignedUrl("GET", address, kPictureUrlSeconds, credentials,
                                              QDateTime::currentDateTimeUtc())
                            .toString(QUrl::FullyEncoded));
    }
    return success(QJsonObject{{QStringLiteral("questionJson"), question->content},
                               {QStringLiteral("questionImg"), pictures}});
}

ApiReply PlanService::listPlans(const CloudUser &user)
{
    const std::optional<QVector<PlanRecord>> plans = m_plans.plansOf(user.uid);
    if (!plans)
        return databaseFailure();
    QJsonArray list;
    for (const PlanRecord &record : *plans)
        list.append(listedPlan(record));
    return success(list);
}

ApiReply PlanService::deletePlan(const CloudUser &user, const QMap<QString, QString> &params)
{
    PlanRecord record;
    ApiReply reply;
    if (!ownPlan(user, params.value(QStringLiteral("p_id")), &record, &reply))
        return reply;
    // The plan's folder is its document's; it is removed whole only when no other plan keeps
    // its document there (and never when that folder is the user's own top folder).
    const QString folder = record.jsonroad.left(record.jsonroad.lastIndexOf(QLatin1Char('/')) + 1);
    const bool wholeFolder =
        folder != uidText(user) + QLatin1Char('/') && m_plans.countInFolder(folder) == 1;
    const QByteArray prefix =
        QByteArrayLiteral("plan/") + (wholeFolder ? folder : record.jsonroad).toUtf8();
    QString error;
    for (const char *bucket : {Buckets::kPlanDocuments, Buckets::kPlanFiles}) {
        if (!m_files->removeAllBelow(QLatin1String(bucket), prefix, &error)) {
            qCWarning(lcPlans).noquote() << "cannot remove plan" << record.id << "files:" << error;
            return failure(500, QStringLiteral("the plan's files could not be removed"));
        }
    }
    if (!m_plans.remove(record.id))
        return databaseFailure();
    return success();
}
