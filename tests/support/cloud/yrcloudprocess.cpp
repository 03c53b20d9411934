#include "yrcloudprocess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUrlQuery>
#include <QUuid>

QString testPostgresUrl()
{
    return qEnvironmentVariable("YRCLOUD_TEST_POSTGRES_URL");
}

QString writeQuestion(const QString &directory, const QString &id, const QByteArray &stem,
                      const QByteArray &picture)
{
    QFile image(directory + QStringLiteral("/p.png"));
    QFile description(directory + QStringLiteral("/q.json"));
    if (!image.open(QIODevice::WriteOnly) || !description.open(QIODevice::WriteOnly))
        return QString();
    image.write(picture);
    description.write(R"({"questionId": ")" + id.toUtf8() +
                      R"(", "questionType": "1", "questionJson": {"stem": ")" + stem +
                      R"("}, "pictures": ["p.png"]})");
    return description.fileName();
}

void addDatabaseRows()
{
    QTest::addColumn<bool>("onPostgres");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

bool databaseOfRow(QString *postgresUrl, QString *why)
{
    QFETCH_GLOBAL(bool, onPostgres);
    *postgresUrl = onPostgres ? testPostgresUrl() : QString();
    if (onPostgres && postgresUrl->isEmpty()) {
        *why = QStringLiteral("YRCLOUD_TEST_POSTGRES_URL is not set: run the tests through "
                              "scripts/with-postgres.sh BUILD_DIR ctest");
        return false;
    }
    return true;
}

YRCloudProcess::YRCloudProcess(const QString &postgresServerUrl) : m_serverUrl(postgresServerUrl) {}

YRCloudProcess::~YRCloudProcess()
{
    if (m_process && m_process->state() != QProcess::NotRunning)
        terminate();
    dropDatabase();
}

QString YRCloudProcess::executable()
{
    return QStringLiteral(YRCLOUD_EXECUTABLE);
}

quint16 YRCloudProcess::port() const
{
    return quint16(m_address.section(QLatin1Char(':'), -1).toUInt());
}

namespace {

// Runs statement on the PostgreSQL server's own database; false, with *error, when it fails.
bool onServer(const QString &serverUrl, const QString &statement, QString *error)
{
    const QUrl url(serverUrl);
    const QString connection = QUuid::createUuid().toString();
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(url.host());
        db.setPort(url.port());
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
        QSqlQuery query(db);
        done = db.open() && query.exec(statement);
        if (!done)
            *error = db.lastError().text() + query.lastError().text();
    }
    QSqlDatabase::removeDatabase(connection);
    return done;
}

} // namespace

bool YRCloudProcess::createDatabase(const QString &serverUrl)
{
    m_databaseName =
        QStringLiteral("yrcloud_test_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(16));
    QString error;
    if (!onServer(serverUrl, QStringLiteral("CREATE DATABASE %1").arg(m_databaseName), &error)) {
        m_error = QStringLiteral("cannot create a database on %1: %2").arg(serverUrl, error);
        m_databaseName.clear();
        return false;
    }
    QUrl database(serverUrl);
    database.setPath(QLatin1Char('/') + m_databaseName);
    m_databaseUrl = database.toString();
    return true;
}

void YRCloudProcess::dropDatabase()
{
    if (m_databaseName.isEmpty())
        return;
    QString error;
    onServer(m_serverUrl,
             QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_databaseName), &error);
    m_databaseName.clear();
}

bool YRCloudProcess::start(const QStringList &extraArguments)
{
    if (!m_serverUrl.isEmpty() && m_databaseUrl.isEmpty() && !createDatabase(m_serverUrl))
        return false;
    QStringList arguments{QStringLiteral("serve"), QStringLiteral("--data"), m_data.path(),
                          QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")};
    if (!m_databaseUrl.isEmpty())
        arguments << QStringLiteral("--db") << m_databaseUrl;
    m_process = std::make_unique<QProcess>();
    // A file, not a pipe: a test that does not read the log must not stall the server.
    m_process->setStandardErrorFile(logPath(), QIODevice::Append);
    m_process->start(executable(), arguments + extraArguments);
    QByteArray firstLine;
    while (!firstLine.contains('\n') && m_process->waitForReadyRead(30000))
        firstLine += m_process->readAllStandardOutput();
    m_address = QString::fromUtf8(firstLine.left(firstLine.indexOf('\n')).trimmed());
    if (m_address.isEmpty()) {
        m_error = QStringLiteral("yrcloud did not start: %1").arg(QString::fromUtf8(log()));
        return false;
    }
    return true;
}

YRCloudProcess::Run YRCloudProcess::run(const QStringList &arguments, const QByteArray &input) const
{
    QStringList all = arguments;
    all << QStringLiteral("--data") << m_data.path();
    if (!m_databaseUrl.isEmpty())
        all << QStringLiteral("--db") << m_databaseUrl;
    QProcess process;
    process.start(executable(), all);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

YRCloudProcess::User YRCloudProcess::addUser(const QString &name) const
{
    const Run result = run({QStringLiteral("user"), QStringLiteral("add"), name});
    const QJsonObject answer = QJsonDocument::fromJson(result.out).object();
    return {answer.value(QStringLiteral("uid")).toString(),
            answer.value(QStringLiteral("token")).toString()};
}

void YRCloudProcess::askToStop()
{
    if (m_process)
        m_process->terminate();
}

bool YRCloudProcess::terminate(int timeoutMs)
{
    if (!m_process)
        return false;
    m_process->terminate();
    const bool ended = m_process->waitForFinished(timeoutMs);
    return ended && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
}

void YRCloudProcess::kill()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(30000);
}

QString YRCloudProcess::logPath() const
{
    return m_data.filePath(QStringLiteral("yrcloud.log"));
}

QByteArray YRCloudProcess::log() const
{
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
