#ifndef CLOUDCOMMANDS_H
#define CLOUDCOMMANDS_H

#include <QString>

// A district's own S3-compatible store, used instead of this server's when url is set.
struct DistrictStore
{
    QString url;
    QString region = QStringLiteral("us-east-1");
};

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
    // How long a connection may stall, reading or writing, before it is given up.
    int timeoutSeconds = 30;
    qint64 maxObjectSize = qint64(5) << 30;
    DistrictStore district;
};

// The subcommands of yrcloud, each returning the process's exit code after printing its
// result on stdout and any error as one line on stderr.
namespace CloudCommands {

// Serves until SIGINT or SIGTERM. The first line on stdout is the address it listens on.
int serve(const ServeOptions &options);
// Adds a user (an administrator, whose store keys reach every bucket) and prints
// {"uid": …, "token": …}.
int addUser(const QString &name, bool administrator, const QString &dataDirectory,
            const QString &databaseUrl);
// Registers the user's keys for a district's store: accessKeyId, and the secret read from the
// first line of standard input.
int setStoreKeys(const QString &name, const QString &accessKeyId, const QString &dataDirectory,
                 const QString &databaseUrl);
// Adds (or replaces) the question described by the JSON file and stores its pictures, in this
// server's store below dataDirectory or in the district's.
int addQuestion(const QString &file, const QString &dataDirectory, const QString &databaseUrl,
                const DistrictStore &district);

} // namespace CloudCommands

#endif // CLOUDCOMMANDS_H
