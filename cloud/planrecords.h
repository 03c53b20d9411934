#ifndef PLANRECORDS_H
#define PLANRECORDS_H

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class Database;

// A plan's record in the plan service, with the fields the controller sends.
struct PlanRecord
{
    qint64 id = 0;
    qint64 uid = 0;
    QString jsonroad; // the document's path below the teaching-plan root: "UID/…/teachpkg.json"
    QString title;
    qint64 block = 0;
    qint64 board = 0;
    qint64 date = 0;
    QString jsonmd5;
    QString rethink;
    qint64 stepnum = 0;
    QString version;
};

// The plans' records in the database.
class PlanRecords
{
public:
    explicit PlanRecords(Database *database);

    enum class Outcome { Done, NotFound, NotYours, Failed };

    // Creates the record, or updates the one with the same jsonroad; sets record->id.
    Outcome create(PlanRecord *record);
    // Updates the record record.id, which must be record.uid's.
    Outcome update(const PlanRecord &record);
    Outcome find(qint64 id, PlanRecord *record);
    // The user's plans, newest first; null when the database failed.
    std::optional<QVector<PlanRecord>> plansOf(qint64 uid);
    // How many records have their document below folder ("UID/…/").
    int countInFolder(const QString &folder);
    bool remove(qint64 id);

private:
    Database *m_database;
};

// A question of the question bank: its content and the keys of its pictures in the question
// bucket.
struct Question
{
    QString id;
    QString type;
    QJsonObject content;
    QStringList pictureKeys;
};

class QuestionBank
{
public:
    explicit QuestionBank(Database *database);

    // Adds the question, or replaces the one with its id.
    bool put(const Question &question);
    std::optional<Question> find(const QString &id);

private:
    Database *m_database;
};

#endif // PLANRECORDS_H
