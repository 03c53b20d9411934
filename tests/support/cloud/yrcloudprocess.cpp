#include "yrcloudprocess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrlQuery>
#include <QUuid>

QString testPostgresUrl()
{
    return qEnvironmentVariable("YRCLOUD_TEST_POSTGRES_URL");
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

bool YRCloudProcess::createDatabase(const QString &serverUrl)
{
    const QUrl url(serverUrl);
    const QString connection = QUuid::createUuid().toString();
    m_databaseName =
        QStringLiteral("yrcloud_test_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(16));
    bool created = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(url.host());
        db.setPort(url.port());
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
        created = db.open() &&
                  QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE %1").arg(m_databaseName));
        if (!created)
            m_error = QStringLiteral("cannot create a database on %1: %2")
                          .arg(serverUrl, db.lastError().text());
    }
    QSqlDatabase::removeDatabase(connection);
    if (!created) {
        m_databaseName.clear();
        return false;
    }
    QUrl database(url);
    database.setPath(QLatin1Char('/') + m_databaseName);
    m_databaseUrl = database.toString();
    return true;
}

void YRCloudProcess::dropDatabase()
{
    if (m_databaseName.isEmpty())
        return;
    const QUrl url(m_serverUrl);
    const QString connection = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(url.host());
        db.setPort(url.port());
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
        if (db.open())
            QSqlQuery(db).exec(
                QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_databaseName));
    }
    QSqlDatabase::removeDatabase(connection);
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

YRCloudProcess::Run YRCloudProcess::run(const QStringList &arguments) const
{
    QStringList all = arguments;
    all << QStringLiteral("--data") << m_data.path();
    if (!m_databaseUrl.isEmpty())
        all << QStringLiteral("--db") << m_databaseUrl;
    QProcess process;
    process.start(executable(), all);
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
