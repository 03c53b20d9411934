#ifndef STORESERVICE_H
#define STORESERVICE_H

#include "storeauth.h"

#include <QByteArray>
#include <QString>

class HttpExchange;
class ObjectStore;
class UserDirectory;
struct StoredObject;

struct StoreSettings
{
    QString region = QStringLiteral("us-east-1");
    // The address clients reach the store at, for the Location of a completed upload.
    QString publicUrl;
    // S3's limit for one PUT, and here for an assembled upload too.
    qint64 maxObjectSize = qint64(5) << 30;
};

// The S3-compatible store, path-style (/BUCKET/KEY): PutObject, GetObject with Range,
// HeadObject, DeleteObject, ListObjectsV2, DeleteObjects, ListBuckets, HeadBucket and uploads
// in parts. It authenticates every request (StoreAuthenticator), applies Buckets' rule of who
// reaches what, and answers refusals with S3's XML errors.
class StoreService
{
public:
    StoreService(ObjectStore *store, UserDirectory *users, const StoreSettings &settings);

    // Answers one request.
    void handle(HttpExchange &exchange);
    // Judges a request whose client waits (Expect: 100-continue) before sending its body:
    // true to let the body come; false with the refusal answered.
    bool admit(HttpExchange &exchange);

private:
    struct Target
    {
        QString bucket;
        QByteArray key;
    };

    bool parsedTarget(HttpExchange &exchange, Target *target);
    bool authenticated(HttpExchange &exchange, const Target &target, StoreCaller *caller);
    void refuse(HttpExchange &exchange, const S3Error &error);
    void dispatchBucket(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    void dispatchObject(HttpExchange &exchange, const Target &target, const StoreCaller &caller);

    // storeservice_objects.cpp
    void putObject(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    void getObject(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    void deleteObject(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    void answerObject(HttpExchange &exchange, const StoredObject &object);

    // storeservice_listing.cpp
    void listBuckets(HttpExchange &exchange);
    void listObjects(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    void deleteObjects(HttpExchange &exchange, const Target &target, const StoreCaller &caller);

    // storeservice_multipart.cpp
    void createUpload(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    void uploadPart(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    void completeUpload(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    void abortUpload(HttpExchange &exchange, const Target &target, const StoreCaller &caller);
    QString uploadDirectory(HttpExchange &exchange, const Target &target,
                            const StoreCaller &caller);

    ObjectStore *m_store;
    StoreAuthenticator m_authenticator;
    StoreSettings m_settings;
};

struct ObjectHeader;

// Small pieces the store's flows share.
namespace StoreCommon {
S3Error refused(int status, const char *code, const QString &message);
S3Error accessDenied(const QString &what);
// The quoted ETag of an object.
QByteArray quotedEtag(const QByteArray &etag);
// The properties a PUT or the start of an upload in parts gives the object: Content-Type and
// the x-amz-meta-* headers. False when they do not fit beside the object.
bool requestedHeader(const HttpExchange &exchange, ObjectHeader *header);
// Reads a request body of at most maxBytes (an XML document); an error when it is larger,
// broken off, or does not match its declared digests.
S3Error readSmallBody(HttpExchange &exchange, const StoreCaller &caller, qint64 maxBytes,
                      QByteArray *body);
} // namespace StoreCommon

#endif // STORESERVICE_H
