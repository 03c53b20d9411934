#ifndef OBJECTSTORE_H
#define OBJECTSTORE_H

#include "objectfile.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The objects of the store on disk, below DIR: "objects/BUCKET/…" holds each object as one
// file (ObjectFile, ObjectKeys), "tmp/" the files being written, "uploads/" the parts of
// uploads in parts. Nothing outside DIR is ever named: keys are checked and encoded first.
class ObjectStore
{
public:
    explicit ObjectStore(const QString &dataDirectory);

    // Makes the directories, and removes what interrupted writes and abandoned uploads left
    // behind. False, with *error, when DIR cannot be used.
    bool prepare(QString *error);

    QString temporaryDirectory() const;
    QString uploadsDirectory() const;
    QString bucketDirectory(const QString &bucket) const;
    // The file of an object (key accepted by ObjectKeys::refusal).
    QString objectPath(const QString &bucket, const QByteArray &key) const;

    // The object's header, size and time; false when there is none.
    bool find(const QString &bucket, const QByteArray &key, StoredObject *object) const;
    // Removes the object, if it exists, and the directories it leaves empty.
    void remove(const QString &bucket, const QByteArray &key) const;
    // Writes what writer holds as the object; with replace false, refuses (false, *existed
    // set) when the object exists, in one step with putting it in place.
    bool commit(ObjectWriter &writer, const ObjectHeader &header, const QString &bucket,
                const QByteArray &key, bool replace, bool *existed) const;

    // Steers a walk: stop it, or pass over every key that begins with skipPrefix.
    struct WalkControl
    {
        bool stop = false;
        QByteArray skipPrefix;
    };
    using Visitor =
        std::function<void(const QByteArray &key, const QString &path, WalkControl &control)>;
    // Visits the keys of bucket that begin with prefix and sort after `after`, in the byte
    // order of their UTF-8 (S3's listing order).
    void walk(const QString &bucket, const QByteArray &prefix, const QByteArray &after,
              const Visitor &visit) const;

private:
    QString m_root;
};

#endif // OBJECTSTORE_H
