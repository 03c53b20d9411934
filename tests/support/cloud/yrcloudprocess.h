#ifndef YRCLOUDPROCESS_H
#define YRCLOUDPROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// A real `yrcloud serve` for a test: started on a free loopback port (--listen 127.0.0.1:0)
// with a temporary data directory, its address read from the first line it prints. With a
// PostgreSQL server's URL (what scripts/with-postgres.sh exports as YRCLOUD_TEST_POSTGRES_URL)
// it runs on a fresh database of its own there, dropped again at the end; without, on SQLite
// in the data directory. The server is stopped (SIGTERM) when the object goes.
class YRCloudProcess
{
public:
    explicit YRCloudProcess(const QString &postgresServerUrl = QString());
    ~YRCloudProcess();

    YRCloudProcess(const YRCloudProcess &) = delete;
    YRCloudProcess &operator=(const YRCloudProcess &) = delete;

    // The yrcloud the build made.
    static QString executable();

    // Starts the server with extra arguments for `serve`; false (see errorString()) when it
    // did not come up within 30 s.
    bool start(const QStringList &extraArguments = {});
    QString errorString() const { return m_error; }

    // "127.0.0.1:PORT", http://127.0.0.1:PORT and the port.
    QString address() const { return m_address; }
    QUrl url() const { return QUrl(QStringLiteral("http://") + m_address); }
    quint16 port() const;
    QString dataDirectory() const { return m_data.path(); }
    // The --db the server runs with; empty for SQLite.
    QString databaseUrl() const { return m_databaseUrl; }

    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    // Runs `yrcloud ARGUMENTS --data DIR [--db URL]` beside the server and waits for it.
    Run run(const QStringList &arguments) const;

    struct User
    {
        QString uid;
        QString token;
    };
    // Adds a user with `yrcloud user add`; empty fields when that failed.
    User addUser(const QString &name) const;

    // SIGTERM, then waits; true when the server exited with 0 within timeoutMs.
    bool terminate(int timeoutMs = 30000);
    // SIGKILL, then waits for the process to be gone.
    void kill();
    // What the server wrote on stderr so far (its log), kept in DIR/yrcloud.log.
    QByteArray log() const;

private:
    QString logPath() const;
    bool createDatabase(const QString &serverUrl);
    void dropDatabase();

    QTemporaryDir m_data;
    QString m_serverUrl;
    QString m_databaseName;
    QString m_databaseUrl;
    std::unique_ptr<QProcess> m_process;
    QString m_address;
    QString m_error;
};

// The PostgreSQL server of scripts/with-postgres.sh, or empty when the variable is not set.
QString testPostgresUrl();

#endif // YRCLOUDPROCESS_H
