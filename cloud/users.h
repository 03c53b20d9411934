#ifndef USERS_H
#define USERS_H

#include <QHash>
#include <QMutex>
#include <QString>

#include <optional>

class Database;

// A user of the cloud: the uid that the host sets on its application object, the credentials
// of this server's store (which the store checks signatures with), and those that an
// administrator registered for a district's own store, which the session hands out instead
// when the server works with one. An administrator's store keys reach every bucket.
struct CloudUser
{
    qint64 uid = 0;
    QString name;
    QString accessKeyId;
    QString secretAccessKey;
    bool administrator = false;
    QString storeAccessKeyId;
    QString storeSecretAccessKey;
};

// The users and their bearer tokens. Tokens are kept only as their SHA-256, so a copy of the
// database does not sign anybody in; the storage secrets must stay readable to check and make
// signatures. Lookups are cached for a minute, so a change made by another process (new
// district keys) is seen within that time.
class UserDirectory
{
public:
    explicit UserDirectory(Database *database);

    // Creates the user NAME with a new uid, token and storage credentials; the token is
    // returned in *token and exists nowhere else. False, with *error, when NAME is taken or
    // the database fails.
    bool addUser(const QString &name, bool administrator, CloudUser *user, QString *token,
                 QString *error);
    // Registers the keys of NAME for the district's store. False, with *error, when there is
    // no such user or the database fails.
    bool setStoreKeys(const QString &name, const QString &accessKeyId,
                      const QString &secretAccessKey, QString *error);
    // The user whose bearer token this is, if any.
    std::optional<CloudUser> userForToken(const QString &token);
    // The user whose storage access key this is, if any.
    std::optional<CloudUser> userForAccessKey(const QString &accessKeyId);

private:
    struct Cached
    {
        CloudUser user;
        qint64 since = 0; // seconds since the epoch
    };
    std::optional<CloudUser> cachedLookUp(QHash<QString, Cached> &cache, const char *column,
                                          const QString &value);
    std::optional<CloudUser> lookUp(const char *column, const QString &value);

    Database *m_database;
    QMutex m_mutex;
    QHash<QString, Cached> m_byTokenHash;
    QHash<QString, Cached> m_byAccessKey;
};

#endif // USERS_H
