#include "cloudcommands.h"

#include "buckets.h"
#include "cloudlog.h"
#include "database.h"
#include "httpserver.h"
#include "objectkeys.h"
#include "objectstore.h"
#include "planfiles.h"
#include "planrecords.h"
#include "planservice.h"
#include "stopsignals.h"
#include "storeservice.h"
#include "users.h"

#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>

#include <atomic>
#include <cstdio>

namespace {

int failed(const QString &message)
{
    std::fprintf(stderr, "yrcloud: %s\n", qUtf8Printable(message));
    return 1;
}

void printLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The data directory, made if missing; empty (with *error) when it cannot be.
QString preparedDirectory(const QString &path, QString *error)
{
    if (path.isEmpty() || !QDir().mkpath(path)) {
        *error = path.isEmpty() ? QStringLiteral("--data DIR is needed")
                                : QStringLiteral("cannot create %1").arg(path);
        return QString();
    }
    return QDir(path).absolutePath();
}

QString defaultPublicUrl(const QString &host, int port)
{
    QString name = host;
    if (host == QLatin1String("0.0.0.0") || host == QLatin1String("::"))
        name = QHostInfo::localHostName(); // every address: the name others know it by
    else if (host.contains(QLatin1Char(':')))
        name = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2").arg(name).arg(port);
}

} // namespace

namespace CloudCommands {

int serve(const ServeOptions &options)
{
    // First, before any thread exists. A signal that comes before the server listens stops it
    // as soon as it does.
    std::atomic<CloudServer *> listening{nullptr};
    std::atomic<bool> stopAsked{false};
    StopSignals stopSignals([&listening, &stopAsked] {
        qCInfo(lcServer) << "stopping: the requests in flight are answered first";
        stopAsked = true;
        if (CloudServer *server = listening.load())
            server->stop();
    });

    QString error;
    const QString directory = preparedDirectory(options.dataDirectory, &error);
    if (directory.isEmpty())
        return failed(error);
    ObjectStore objects(directory);
    if (!objects.prepare(&error))
        return failed(error);
    std::unique_ptr<Database> database = Database::open(options.databaseUrl, directory, &error);
    if (!database)
        return failed(error);
    UserDirectory users(database.get());
    LocalPlanFiles files(&objects);

    StoreSettings storeSettings;
    storeSettings.region = options.region;
    storeSettings.maxObjectSize = options.maxObjectSize;
    StorageEndpoint endpoint;
    endpoint.region = options.region;
    // The public address is known once the port is.
    std::unique_ptr<StoreService> store;
    std::unique_ptr<PlanService> plans;
    auto server = std::make_unique<CloudServer>(database.get(), &users, options.threads);
    if (!server->bind(options.host, options.port, &error))
        return failed(error);
    const QString publicUrl = options.publicUrl.isEmpty()
                                  ? defaultPublicUrl(options.host, server->port())
                                  : options.publicUrl;
    storeSettings.publicUrl = publicUrl;
    endpoint.url = publicUrl;
    store = std::make_unique<StoreService>(&objects, &users, storeSettings);
    plans = std::make_unique<PlanService>(database.get(), &files, endpoint);
    server->setServices(plans.get(), store.get());

    const QString address = options.host.contains(QLatin1Char(':'))
                                ? QStringLiteral("[%1]:%2").arg(options.host).arg(server->port())
                                : QStringLiteral("%1:%2").arg(options.host).arg(server->port());
    printLine(address.toUtf8());
    qCInfo(lcServer).noquote() << "serving" << directory << "on" << address << "as" << publicUrl
                               << "with" << database->description();
    listening = server.get();
    if (stopAsked)
        server->stop();
    server->serve();
    listening = nullptr;
    qCInfo(lcServer) << "stopped";
    return 0;
}

int addUser(const QString &name, const QString &dataDirectory, const QString &databaseUrl)
{
    if (name.isEmpty() || name.contains(QLatin1Char('\n')))
        return failed(QStringLiteral("the user's name is missing"));
    QString error;
    const QString directory =
        databaseUrl.isEmpty() ? preparedDirectory(dataDirectory, &error) : dataDirectory;
    if (databaseUrl.isEmpty() && directory.isEmpty())
        return failed(error);
    std::unique_ptr<Database> database = Database::open(databaseUrl, directory, &error);
    if (!database)
        return failed(error);
    UserDirectory users(database.get());
    CloudUser user;
    QString token;
    if (!users.addUser(name, &user, &token, &error))
        return failed(error);
    printLine(QJsonDocument(QJsonObject{{QStringLiteral("uid"), QString::number(user.uid)},
                                        {QStringLiteral("token"), token}})
                  .toJson(QJsonDocument::Compact));
    return 0;
}

int addQuestion(const QString &file, const QString &dataDirectory, const QString &databaseUrl)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("cannot read %1").arg(file));
    QJsonParseError parseError;
    const QJsonObject description = QJsonDocument::fromJson(input.readAll(), &parseError).object();
    if (parseError.error != QJsonParseError::NoError)
        return failed(QStringLiteral("%1 is not JSON: %2").arg(file, parseError.errorString()));
    Question question;
    question.id = description.value(QStringLiteral("questionId")).toVariant().toString();
    question.type = description.value(QStringLiteral("questionType")).toVariant().toString();
    question.content = description.value(QStringLiteral("questionJson")).toObject();
    if (question.id.isEmpty() || question.content.isEmpty() ||
        !ObjectKeys::refusal(question.id.toUtf8()).isEmpty() ||
        question.id.contains(QLatin1Char('/')))
        return failed(QStringLiteral("%1 needs a questionId (one plain name) and a questionJson "
                                     "object")
                          .arg(file));

    QString error;
    const QString directory = preparedDirectory(dataDirectory, &error);
    if (directory.isEmpty())
        return failed(error);
    ObjectStore objects(directory);
    if (!objects.prepare(&error))
        return failed(error);
    LocalPlanFiles files(&objects);
    const QDir base = QFileInfo(file).absoluteDir();
    QMimeDatabase types;
    for (const QJsonValue &picture : description.value(QStringLiteral("pictures")).toArray()) {
        const QString path = base.absoluteFilePath(picture.toString());
        const QByteArray key =
            (question.id + QLatin1Char('/') + QFileInfo(path).fileName()).toUtf8();
        if (!files.storeFile(QLatin1String(Buckets::kQuestion), key, path,
                             types.mimeTypeForFile(path).name(), &error))
            return failed(error);
        question.pictureKeys.append(QString::fromUtf8(key));
    }
    std::unique_ptr<Database> database = Database::open(databaseUrl, directory, &error);
    if (!database)
        return failed(error);
    if (!QuestionBank(database.get()).put(question))
        return failed(QStringLiteral("the database refused the question"));
    printLine(QJsonDocument(QJsonObject{{QStringLiteral("questionId"), question.id},
                                        {QStringLiteral("pictures"), question.pictureKeys.size()}})
                  .toJson(QJsonDocument::Compact));
    return 0;
}

} // namespace CloudCommands
