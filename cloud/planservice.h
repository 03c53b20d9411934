#ifndef PLANSERVICE_H
#define PLANSERVICE_H

#include "planrecords.h"
#include "users.h"

#include <QJsonObject>
#include <QMap>
#include <QString>

class Database;
class PlanFiles;

// One answer of the plan service: the HTTP status and the JSON body; for a refusal, why.
struct ApiReply
{
    int status = 200;
    QJsonObject body;
    QString refusal;
};

// Where the session sends a user's transfers: the store's address and region. The user's
// credentials come with the user.
struct StorageEndpoint
{
    QString url;
    QString region = QStringLiteral("us-east-1");
};

// The plan service under /api/teaplan/, and the session: the plans' records, the question
// bank, and what a host needs to reach the store. Requests are the controller's, with their
// parameters already decoded; every answer is {"success": …} with "data" or "message".
class PlanService
{
public:
    PlanService(Database *database, PlanFiles *files, const StorageEndpoint &storage);

    // The session table for user: uid, ResourceDomain and the storage credentials.
    ApiReply session(const CloudUser &user) const;
    // Whether the database answers.
    ApiReply health();
    // Answers the api ("createplan", "updatePlan", "Translateplan", "onequeinfo", "list",
    // "deleteplan") for user, asked with method (GET or POST) and params.
    ApiReply handle(const CloudUser &user, const QByteArray &method, const QString &api,
                    const QMap<QString, QString> &params);

private:
    ApiReply createPlan(const CloudUser &user, const QMap<QString, QString> &params);
    ApiReply updatePlan(const CloudUser &user, const QMap<QString, QString> &params);
    ApiReply translatePlan(const CloudUser &user, const QMap<QString, QString> &params);
    ApiReply questionInfo(const CloudUser &user, const QMap<QString, QString> &params);
    ApiReply listPlans(const CloudUser &user);
    ApiReply deletePlan(const CloudUser &user, const QMap<QString, QString> &params);
    // The plan params.value(name) names, when it is user's; otherwise the refusal in *reply.
    bool ownPlan(const CloudUser &user, const QString &idText, PlanRecord *record, ApiReply *reply);

    Database *m_database;
    PlanFiles *m_files;
    StorageEndpoint m_storage;
    PlanRecords m_plans;
    QuestionBank m_questions;
};

#endif // PLANSERVICE_H
