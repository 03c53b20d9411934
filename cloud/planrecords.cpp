#include "planrecords.h"

#include "database.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString kColumns = QStringLiteral(
    "p_id, uid, p_jsonroad, p_title, p_block, p_board, p_date, p_jsonmd5, p_rethink, "
    "p_stepnum, p_version");

PlanRecord recordOf(const QSqlQuery &query)
{
    PlanRecord record;
    record.id = query.value(0).toLongLong();
    record.uid = query.value(1).toLongLong();
    record.jsonroad = query.value(2).toString();
    record.title = query.value(3).toString();
    record.block = query.value(4).toLongLong();
    record.board = query.value(5).toLongLong();
    record.date = query.value(6).toLongLong();
    record.jsonmd5 = query.value(7).toString();
    record.rethink = query.value(8).toString();
    record.stepnum = query.value(9).toLongLong();
    record.version = query.value(10).toString();
    return record;
}

// The values the controller sends, in the order of the SET and VALUES lists below.
void bindFields(QSqlQuery &query, const PlanRecord &record)
{
    query.addBindValue(record.title);
    query.addBindValue(record.block);
    query.addBindValue(record.board);
    query.addBindValue(record.date);
    query.addBindValue(record.jsonmd5);
    query.addBindValue(record.rethink);
    query.addBindValue(record.stepnum);
    query.addBindValue(record.version);
    query.addBindValue(QDateTime::currentSecsSinceEpoch());
}

} // namespace

PlanRecords::PlanRecords(Database *database) : m_database(database) {}

PlanRecords::Outcome PlanRecords::create(PlanRecord *record)
{
    QSqlDatabase db = m_database->connection();
    const qint64 id = nextCounterValue(db, QStringLiteral("planid"));
    if (id == 0)
        return Outcome::Failed;
    // One statement, so that two creates of one document cannot make two records; the update
    // applies only to the same user's record.
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO plans (p_title, p_block, p_board, p_date, p_jsonmd5, p_rethink, p_stepnum, "
        "p_version, updated, p_id, uid, p_jsonroad) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (p_jsonroad) DO UPDATE SET p_title = excluded.p_title, "
        "p_block = excluded.p_block, p_board = excluded.p_board, p_date = excluded.p_date, "
        "p_jsonmd5 = excluded.p_jsonmd5, p_rethink = excluded.p_rethink, "
        "p_stepnum = excluded.p_stepnum, p_version = excluded.p_version, "
        "updated = excluded.updated WHERE plans.uid = excluded.uid RETURNING p_id"));
    bindFields(query, *record);
    query.addBindValue(id);
    query.addBindValue(record->uid);
    query.addBindValue(record->jsonroad);
    if (!runQuery(query, "creating a plan"))
        return Outcome::Failed;
    if (!query.next())
        return Outcome::NotYours;
    record->id = query.value(0).toLongLong();
    query.finish();
    return Outcome::Done;
}

PlanRecords::Outcome PlanRecords::update(const PlanRecord &record)
{
    PlanRecord stored;
    const Outcome found = find(record.id, &stored);
    if (found != Outcome::Done)
        return found;
    if (stored.uid != record.uid)
        return Outcome::NotYours;
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral(
        "UPDATE plans SET p_title = ?, p_block = ?, p_board = ?, p_date = ?, p_jsonmd5 = ?, "
        "p_rethink = ?, p_stepnum = ?, p_version = ?, updated = ? WHERE p_id = ? AND uid = ?"));
    bindFields(query, record);
    query.addBindValue(record.id);
    query.addBindValue(record.uid);
    return runQuery(query, "updating a plan") ? Outcome::Done : Outcome::Failed;
}

PlanRecords::Outcome PlanRecords::find(qint64 id, PlanRecord *record)
{
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral("SELECT %1 FROM plans WHERE p_id = ?").arg(kColumns));
    query.addBindValue(id);
    if (!runQuery(query, "finding a plan"))
        return Outcome::Failed;
    if (!query.next())
        return Outcome::NotFound;
    *record = recordOf(query);
    return Outcome::Done;
}

std::optional<QVector<PlanRecord>> PlanRecords::plansOf(qint64 uid)
{
    QSqlQuery query(m_database->connection());
    query.prepare(
        QStringLiteral("SELECT %1 FROM plans WHERE uid = ? ORDER BY p_date DESC, p_id DESC")
            .arg(kColumns));
    query.addBindValue(uid);
    if (!runQuery(query, "listing plans"))
        return std::nullopt;
    QVector<PlanRecord> records;
    while (query.next())
        records.append(recordOf(query));
    return records;
}

int PlanRecords::countInFolder(const QString &folder)
{
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM plans WHERE substr(p_jsonroad, 1, ?) = ?"));
    query.addBindValue(folder.size());
    query.addBindValue(folder);
    if (!runQuery(query, "counting plans") || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool PlanRecords::remove(qint64 id)
{
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral("DELETE FROM plans WHERE p_id = ?"));
    query.addBindValue(id);
    return runQuery(query, "deleting a plan");
}

QuestionBank::QuestionBank(Database *database) : m_database(database) {}

bool QuestionBank::put(const Question &question)
{
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral(
        "INSERT INTO questions (question_id, question_type, content, pictures) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (question_id) DO UPDATE SET question_type = excluded.question_type, "
        "content = excluded.content, pictures = excluded.pictures"));
    query.addBindValue(question.id);
    query.addBindValue(question.type);
    query.addBindValue(
        QString::fromUtf8(QJsonDocument(question.content).toJson(QJsonDocument::Compact)));
    query.addBindValue(
        QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(question.pictureKeys))
                              .toJson(QJsonDocument::Compact)));
    return runQuery(query, "storing a question");
}

std::optional<Question> QuestionBank::find(const QString &id)
{
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral("SELECT question_id, question_type, content, pictures FROM "
                                 "questions WHERE question_id = ?"));
    query.addBindValue(id);
    if (!runQuery(query, "finding a question") || !query.next())
        return std::nullopt;
    Question question;
    question.id = query.value(0).toString();
    question.type = query.value(1).toString();
    question.content = QJsonDocument::fromJson(query.value(2).toString().toUtf8()).object();
    for (const QJsonValue &key :
         QJsonDocument::fromJson(query.value(3).toString().toUtf8()).array())
        question.pictureKeys.append(key.toString());
    return question;
}
