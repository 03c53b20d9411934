#ifndef YRPLAN_CLOUDSERVER_H
#define YRPLAN_CLOUDSERVER_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// A yrcloud of a command's own: `yrcloud serve` on a free loopback port over a data directory
// that the caller owns, and yrcloud's administration commands beside it. Its log goes to a
// file. It is stopped (SIGTERM, then waited for) when the object goes, if not before.
class CloudServer
{
public:
    // The yrcloud that belongs to this yrplan: in the same folder (as installed), else in the
    // build's cloud/ folder beside tools/. Empty when neither holds one.
    static QString besideThisProgram();

    CloudServer(const QString &executable, const QString &dataDirectory, const QString &logFile);
    ~CloudServer();
    CloudServer(const CloudServer &) = delete;
    CloudServer &operator=(const CloudServer &) = delete;

    // Starts the server and reads the address it listens on; false with *error when it did not
    // come up within 30 s.
    bool start(QString *error);
    // http://127.0.0.1:PORT once started.
    QUrl url() const { return m_url; }
    // Runs `yrcloud ARGUMENTS --data DIR` and waits for it: its standard output, or false with
    // *error (its first line of error) when it failed.
    bool run(const QStringList &arguments, QByteArray *output, QString *error) const;
    // SIGTERM, then waits; true when the server ended by itself with 0. A server that does not
    // end within 30 s is killed.
    bool stop();

private:
    QString m_executable;
    QString m_dataDirectory;
    QString m_logFile;
    QProcess m_process;
    QUrl m_url;
};

#endif // YRPLAN_CLOUDSERVER_H
