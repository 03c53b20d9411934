#include "users.h"

#include "cloudlog.h"
#include "database.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QVariant>

namespace {

// count characters drawn from alphabet by the system's cryptographic generator.
QString randomText(const char *alphabet, int count)
{
    const int size = int(qstrlen(alphabet));
    QString text;
    text.reserve(count);
    for (int i = 0; i < count; ++i)
        text += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(size)]);
    return text;
}

// How long a looked-up user is taken from memory.
const qint64 kCacheSeconds = 60;

const char kUpperAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
const char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

QString tokenHash(const QString &token)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

} // namespace

UserDirectory::UserDirectory(Database *database) : m_database(database) {}

bool UserDirectory::addUser(const QString &name, bool administrator, CloudUser *user,
                            QString *token, QString *error)
{
    QSqlDatabase db = m_database->connection();
    QSqlQuery existing(db);
    existing.prepare(QStringLiteral("SELECT uid FROM users WHERE name = ?"));
    existing.addBindValue(name);
    if (!runQuery(existing, "looking a user up")) {
        *error = QStringLiteral("the database failed");
        return false;
    }
    if (existing.next()) {
        *error = QStringLiteral("a user named %1 exists already (uid %2)")
                     .arg(name, existing.value(0).toString());
        return false;
    }
    existing.finish();

    user->uid = nextCounterValue(db, QStringLiteral("uid"));
    user->name = name;
    user->administrator = administrator;
    user->accessKeyId = QStringLiteral("YR") + randomText(kUpperAlnum, 18);
    user->secretAccessKey = randomText(kAlnum, 40);
    *token = randomText(kAlnum, 43);
    QSqlQuery insert(db);
    insert.prepare(
        QStringLiteral("INSERT INTO users (uid, name, token_hash, access_key, "
                       "secret_key, created, administrator) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    insert.addBindValue(user->uid);
    insert.addBindValue(name);
    insert.addBindValue(tokenHash(*token));
    insert.addBindValue(user->accessKeyId);
    insert.addBindValue(user->secretAccessKey);
    insert.addBindValue(QDateTime::currentSecsSinceEpoch());
    insert.addBindValue(administrator ? 1 : 0);
    if (user->uid == 0 || !runQuery(insert, "adding a user")) {
        *error = QStringLiteral("the database refused the user %1").arg(name);
        return false;
    }
    return true;
}

std::optional<CloudUser> UserDirectory::userForToken(const QString &token)
{
    if (token.isEmpty())
        return std::nullopt;
    return cachedLookUp(m_byTokenHash, "token_hash", tokenHash(token));
}

std::optional<CloudUser> UserDirectory::userForAccessKey(const QString &accessKeyId)
{
    if (accessKeyId.isEmpty())
        return std::nullopt;
    return cachedLookUp(m_byAccessKey, "access_key", accessKeyId);
}

std::optional<CloudUser> UserDirectory::cachedLookUp(QHash<QString, Cached> &cache,
                                                     const char *column, const QString &value)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    {
        QMutexLocker lock(&m_mutex);
        const auto cached = cache.constFind(value);
        if (cached != cache.cend() && now - cached->since < kCacheSeconds)
            return cached->user;
    }
    const std::optional<CloudUser> user = lookUp(column, value);
    if (user) {
        QMutexLocker lock(&m_mutex);
        cache.insert(value, {*user, now});
    }
    return user;
}

bool UserDirectory::setStoreKeys(const QString &name, const QString &accessKeyId,
                                 const QString &secretAccessKey, QString *error)
{
    QSqlQuery update(m_database->connection());
    update.prepare(QStringLiteral(
        "UPDATE users SET store_access_key = ?, store_secret_key = ? WHERE name = ?"));
    update.addBindValue(accessKeyId);
    update.addBindValue(secretAccessKey);
    update.addBindValue(name);
    if (!runQuery(update, "registering store keys")) {
        *error = QStringLiteral("the database failed");
        return false;
    }
    if (update.numRowsAffected() != 1) {
        *error = QStringLiteral("there is no user named %1").arg(name);
        return false;
    }
    return true;
}

std::optional<CloudUser> UserDirectory::lookUp(const char *column, const QString &value)
{
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral("SELECT uid, name, access_key, secret_key, administrator, "
                                 "store_access_key, store_secret_key FROM users WHERE %1 = ?")
                      .arg(QLatin1String(column)));
    query.addBindValue(value);
    if (!runQuery(query, "looking a user up") || !query.next())
        return std::nullopt;
    CloudUser user;
    user.uid = query.value(0).toLongLong();
    user.name = query.value(1).toString();
    user.accessKeyId = query.value(2).toString();
    user.secretAccessKey = query.value(3).toString();
    user.administrator = query.value(4).toLongLong() != 0;
    user.storeAccessKeyId = query.value(5).toString();
    user.storeSecretAccessKey = query.value(6).toString();
    return user;
}
