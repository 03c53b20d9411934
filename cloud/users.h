#ifndef USERS_H
#define USERS_H

#include <QHash>
#include <QMutex>
#include <QString>

#include <optional>

class Database;

// A user of the cloud: the uid that the host sets on its application object, and the storage
// credentials that the session hands out and the store checks signatures with.
struct CloudUser
{
    qint64 uid = 0;
    QString name;
    QString accessKeyId;
    QString secretAccessKey;
};

// The users and their bearer tokens. Tokens are kept only as their SHA-256, so a copy of the
// database does not sign anybody in; the storage secret must stay readable to check
// signatures. Lookups are cached: users are only ever added.
class UserDirectory
{
public:
    explicit UserDirectory(Database *database);

    // Creates the user NAME with a new uid, token and storage credentials; the token is
    // returned in *token and exists nowhere else. False, with *error, when NAME is taken or
    // the database fails.
    bool addUser(const QString &name, CloudUser *user, QString *token, QString *error);
    // The user whose bearer token this is, if any.
    std::optional<CloudUser> userForToken(const QString &token);
    // The user whose storage access key this is, if any.
    std::optional<CloudUser> userForAccessKey(const QString &accessKeyId);

private:
    std::optional<CloudUser> lookUp(const char *column, const QString &value);

    Database *m_database;
    QMutex m_mutex;
    QHash<QString, CloudUser> m_byTokenHash;
    QHash<QString, CloudUser> m_byAccessKey;
};

#endif // USERS_H
