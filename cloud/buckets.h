#ifndef BUCKETS_H
#define BUCKETS_H

#include <QJsonObject>
#include <QString>
#include <QStringList>

struct CloudUser;

// The store's buckets and who reaches what in them. The two plan buckets hold each user's
// plans below "plan/UID/"; the others are shared: every user reads them, nobody writes them
// through the store (an administrator fills them, the question bank through `question add`).
namespace Buckets {

inline constexpr char kPlanDocuments[] = "plan-documents";
inline constexpr char kPlanFiles[] = "plan-files";
inline constexpr char kQuestion[] = "question";

// Every bucket, plan buckets first.
QStringList all();
bool exists(const QString &bucket);
bool isPlanBucket(const QString &bucket);

// The key prefix below which a user's plans lie: "plan/UID/".
QByteArray planPrefix(qint64 uid);
// Whether user may read (get, head, list) or write (put, delete, upload in parts) key in
// bucket. For a listing, key is the listing's prefix.
bool mayRead(const CloudUser &user, const QString &bucket, const QByteArray &key);
bool mayWrite(const CloudUser &user, const QString &bucket, const QByteArray &key);

// The download-token labels that cover bucket: the empty label covers every bucket,
// "vexores" the resource bucket and "vexopub" the e-books.
QStringList labelsCovering(const QString &bucket);

// The "ResourceDomain" table of the session: each group the library reads, with its bucket
// and its three base addresses below storeUrl (the store's public address, path-style).
QJsonObject resourceDomain(const QString &storeUrl);

} // namespace Buckets

#endif // BUCKETS_H
