#ifndef PLANFILES_H
#define PLANFILES_H

#include <QByteArray>
#include <QString>

class ObjectStore;

// What the plan service needs of the store behind it: a plan's document, removing a plan's
// folder and storing the question bank's pictures. The store on this server's disk, or a
// district's own S3 store.
class PlanFiles
{
public:
    virtual ~PlanFiles() = default;

    // The object's bytes when it exists and is at most maxBytes long.
    virtual bool read(const QString &bucket, const QByteArray &key, qint64 maxBytes,
                      QByteArray *bytes, QString *error) = 0;
    // Removes every object of bucket whose key begins with prefix.
    virtual bool removeAllBelow(const QString &bucket, const QByteArray &prefix,
                                QString *error) = 0;
    // Stores the file at path as the object.
    virtual bool storeFile(const QString &bucket, const QByteArray &key, const QString &path,
                           const QString &contentType, QString *error) = 0;
};

// The store on this server's disk.
class LocalPlanFiles : public PlanFiles
{
public:
    explicit LocalPlanFiles(ObjectStore *store) : m_store(store) {}

    bool read(const QString &bucket, const QByteArray &key, qint64 maxBytes, QByteArray *bytes,
              QString *error) override;
    bool removeAllBelow(const QString &bucket, const QByteArray &prefix, QString *error) override;
    bool storeFile(const QString &bucket, const QByteArray &key, const QString &path,
                   const QString &contentType, QString *error) override;

private:
    ObjectStore *m_store;
};

#endif // PLANFILES_H
