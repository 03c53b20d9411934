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

const char kUpperAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
const char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

QString tokenHash(const QString &token)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

} // namespace

UserDirectory::UserDirectory(Database *database) : m_database(database) {}

bool UserDirectory::addUser(const QString &name, CloudUser *user, QString *token, QString *error)
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
    user->accessKeyId = QStringLiteral("YR") + randomText(kUpperAlnum, 18);
    user->secretAccessKey = randomText(kAlnum, 40);
    *token = randomText(kAlnum, 43);
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO users (uid, name, token_hash, access_key, "
                                  "secret_key, created) VALUES (?, ?, ?, ?, ?, ?)"));
    insert.addBindValue(user->uid);
    insert.addBindValue(name);
    insert.addBindValue(tokenHash(*token));
    insert.addBindValue(user->accessKeyId);
    insert.addBindValue(user->secretAccessKey);
    insert.addBindValue(QDateTime::currentSecsSinceEpoch());
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
    const QString hash = tokenHash(token);
    {
        QMutexLocker lock(&m_mutex);
        const auto cached = m_byTokenHash.constFind(hash);
        if (cached != m_byTokenHash.cend())
            return *cached;
    }
    const std::optional<CloudUser> user = lookUp("token_hash", hash);
    if (user) {
        QMutexLocker lock(&m_mutex);
        m_byTokenHash.insert(hash, *user);
    }
    return user;
}

std::optional<CloudUser> UserDirectory::userForAccessKey(const QString &accessKeyId)
{
    if (accessKeyId.isEmpty())
        return std::nullopt;
    {
        QMutexLocker lock(&m_mutex);
        const auto cached = m_byAccessKey.constFind(accessKeyId);
        if (cached != m_byAccessKey.cend())
            return *cached;
    }
    const std::optional<CloudUser> user = lookUp("access_key", accessKeyId);
    if (user) {
        QMutexLocker lock(&m_mutex);
        m_byAccessKey.insert(accessKeyId, *user);
    }
    return user;
}

std::optional<CloudUser> UserDirectory::lookUp(const char *column, const QString &value)
{
    QSqlQuery query(m_database->connection());
    query.prepare(QStringLiteral("SELECT uid, name, access_key, secret_key FROM users WHERE %1 = ?")
                      .arg(QLatin1String(column)));
    query.addBindValue(value);
    if (!runQuery(query, "looking a user up") || !query.next())
        return std::nullopt;
    CloudUser user;
    user.uid = query.value(0).toLongLong();
    user.name = query.value(1).toString();
    user.accessKeyId = query.value(2).toString();
    user.secretAccessKey = query.value(3).toString();
    return user;
}
