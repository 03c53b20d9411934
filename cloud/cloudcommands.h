#ifndef CLOUDCOMMANDS_H
#define CLOUDCOMMANDS_H

#include <QString>

// What `yrcloud serve` runs with.
struct ServeOptions
{
    QString dataDirectory;
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080;
    QString databaseUrl;
    QString publicUrl; // empty: http://HOST:PORT as listened on
    QString region = QStringLiteral("us-east-1");
    int threads = 64;
    qint64 maxObjectSize = qint64(5) << 30;
};

// The subcommands of yrcloud, each returning the process's exit code after printing its
// result on stdout and any error as one line on stderr.
namespace CloudCommands {

// Serves until SIGINT or SIGTERM. The first line on stdout is the address it listens on.
int serve(const ServeOptions &options);
// Adds a user and prints {"uid": …, "token": …}.
int addUser(const QString &name, const QString &dataDirectory, const QString &databaseUrl);
// Adds (or replaces) the question described by the JSON file and stores its pictures.
int addQuestion(const QString &file, const QString &dataDirectory, const QString &databaseUrl);

} // namespace CloudCommands

#endif // CLOUDCOMMANDS_H
