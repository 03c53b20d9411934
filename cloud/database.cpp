#include "database.h"

#include "cloudlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

// The schema is a resource of the static core library, which the linker drops unless it is
// named.
static void loadSchemaResource()
{
    Q_INIT_RESOURCE(cloud);
}

namespace {

// Splits migrations.sql into its numbered migrations, each a list of statements.
QVector<Migration> readMigrations()
{
    loadSchemaResource();
    QFile file(QStringLiteral(":/yrcloud/migrations.sql"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression heading(QStringLiteral("^-- migration (\\d+): (.*)$"));
    QVector<Migration> migrations;
    QString statement;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = heading.match(line);
        if (match.hasMatch()) {
            migrations.append({match.captured(1).toInt(), match.captured(2), {}});
            continue;
        }
        if (migrations.isEmpty() || line.startsWith(QLatin1String("--")) ||
            line.trimmed().isEmpty())
            continue;
        statement += line + QLatin1Char('\n');
        if (line.trimmed().endsWith(QLatin1Char(';'))) {
            migrations.last().statements.append(statement.trimmed().chopped(1));
            statement.clear();
        }
    }
    return migrations;
}

int schemaVersion(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool execute(const QSqlDatabase &db, const QString &statement, QString *error)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    *error = query.lastError().text();
    return false;
}

} // namespace

bool runQuery(QSqlQuery &query, const char *what)
{
    if (query.exec())
        return true;
    qCWarning(lcDatabase).noquote() << what << "failed:" << query.lastError().text();
    return false;
}

qint64 nextCounterValue(const QSqlDatabase &db, const QString &counter)
{
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("UPDATE counters SET value = value + 1 WHERE name = ? RETURNING value"));
    query.addBindValue(counter);
    if (!runQuery(query, "numbering") || !query.next())
        return 0;
    const qint64 value = query.value(0).toLongLong();
    // SQLite holds its write lock until the statement is done with.
    query.finish();
    return value;
}

std::unique_ptr<Database> Database::open(const QString &url, const QString &dataDir, QString *error)
{
    std::unique_ptr<Database> database(new Database);
    if (!database->configure(url, dataDir, error))
        return nullptr;
    if (!database->connection().isOpen()) {
        *error = QStringLiteral("cannot open the database %1").arg(database->description());
        return nullptr;
    }
    if (!database->migrate(error))
        return nullptr;
    return database;
}

Database::~Database()
{
    releaseThisThread();
    QMutexLocker lock(&m_mutex);
    for (const QString &name : qAsConst(m_connections))
        QSqlDatabase::removeDatabase(name);
}

bool Database::configure(const QString &url, const QString &dataDir, QString *error)
{
    m_prefix = QStringLiteral("yrcloud-%1-").arg(QUuid::createUuid().toString(QUuid::Id128));
    if (url.isEmpty()) {
        m_driver = QStringLiteral("QSQLITE");
        m_name = QDir(dataDir).absoluteFilePath(QStringLiteral("yrcloud.sqlite"));
        // Writers wait for each other instead of failing at once.
        m_options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000");
        return true;
    }
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || (parsed.scheme() != QLatin1String("postgresql") &&
                              parsed.scheme() != QLatin1String("postgres"))) {
        *error = QStringLiteral("--db wants postgresql://user@host/name, not %1")
                     .arg(parsed.toDisplayString(QUrl::RemovePassword));
        return false;
    }
    m_driver = QStringLiteral("QPSQL");
    m_host = parsed.host();
    m_port = parsed.port();
    m_user = parsed.userName(QUrl::FullyDecoded);
    m_password = parsed.password(QUrl::FullyDecoded);
    m_name = parsed.path(QUrl::FullyDecoded).mid(1);
    QStringList options;
    for (const auto &item : QUrlQuery(parsed).queryItems(QUrl::FullyDecoded)) {
        if (item.first == QLatin1String("host"))
            m_host = item.second; // a socket directory
        else
            options.append(item.first + QLatin1Char('=') + item.second);
    }
    m_options = options.join(QLatin1Char(';'));
    if (m_name.isEmpty()) {
        *error = QStringLiteral("--db names no database: %1").arg(url);
        return false;
    }
    return true;
}

QString Database::description() const
{
    if (!isPostgres())
        return QStringLiteral("sqlite %1").arg(m_name);
    return QStringLiteral("postgresql %1@%2/%3").arg(m_user, m_host, m_name);
}

QString Database::connectionNameOfThisThread() const
{
    return m_prefix + QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId()), 16);
}

QSqlDatabase Database::connection()
{
    const QString name = connectionNameOfThisThread();
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name, false);

    QSqlDatabase db = QSqlDatabase::addDatabase(m_driver, name);
    db.setDatabaseName(m_name);
    db.setHostName(m_host);
    db.setPort(m_port);
    db.setUserName(m_user);
    db.setPassword(m_password);
    db.setConnectOptions(m_options);
    {
        QMutexLocker lock(&m_mutex);
        m_connections.insert(QThread::currentThreadId(), name);
    }
    if (!db.open()) {
        qCWarning(lcDatabase).noquote()
            << "cannot open" << description() << ":" << db.lastError().text();
        return db;
    }
    QString error;
    if (isPostgres()) {
        // The server's notices ("already exists, skipping") are not news for the log.
        execute(db, QStringLiteral("SET client_min_messages TO WARNING"), &error);
    } else {
        // WAL lets readers go on while one writer commits; the pragma is kept in the file.
        if (!execute(db, QStringLiteral("PRAGMA journal_mode=WAL"), &error) ||
            !execute(db, QStringLiteral("PRAGMA foreign_keys=ON"), &error))
            qCWarning(lcDatabase).noquote() << "cannot set up" << description() << ":" << error;
    }
    return db;
}

void Database::releaseThisThread()
{
    QString name;
    {
        QMutexLocker lock(&m_mutex);
        name = m_connections.take(QThread::currentThreadId());
    }
    if (name.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

bool Database::migrate(QString *error)
{
    const QVector<Migration> migrations = readMigrations();
    if (migrations.isEmpty()) {
        *error = QStringLiteral("the schema is missing from the program");
        return false;
    }
    QSqlDatabase db = connection();
    for (const Migration &migration : migrations) {
        if (!applyMigration(db, migration, error)) {
            QString ignored;
            execute(db, QStringLiteral("ROLLBACK"), &ignored);
            *error = QStringLiteral("migration %1 (%2) failed: %3")
                         .arg(migration.number)
                         .arg(migration.title, *error);
            return false;
        }
    }
    return true;
}

bool Database::applyMigration(const QSqlDatabase &db, const Migration &migration, QString *error)
{
    // Instances that start together take turns: PostgreSQL by an advisory lock, SQLite by
    // taking its write lock at BEGIN.
    if (!execute(db, isPostgres() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"),
                 error))
        return false;
    if (isPostgres() &&
        !execute(db, QStringLiteral("SELECT pg_advisory_xact_lock(7270010)"), error))
        return false;
    if (!execute(db,
                 QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version "
                                "(version BIGINT PRIMARY KEY, applied BIGINT NOT NULL)"),
                 error))
        return false;
    if (schemaVersion(db) >= migration.number)
        return execute(db, QStringLiteral("COMMIT"), error);
    for (const QString &statement : migration.statements) {
        if (!execute(db, statement, error))
            return false;
    }
    const QString record =
        QStringLiteral("INSERT INTO schema_version (version, applied) VALUES (%1, %2)")
            .arg(migration.number)
            .arg(QDateTime::currentSecsSinceEpoch());
    if (!execute(db, record, error) || !execute(db, QStringLiteral("COMMIT"), error))
        return false;
    qCInfo(lcDatabase).noquote() << "applied migration" << migration.number << migration.title;
    return true;
}
