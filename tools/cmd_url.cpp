#include "cliutil.h"
#include "commands.h"
#include "localnetwork.h"

#include "resourcemanage/yrresourcemanage.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>

namespace {

// The text of argument: itself, or the contents of FILE for "@FILE".
bool readArgumentText(const QString &argument, QByteArray *text, QString *error)
{
    if (!argument.startsWith(QLatin1Char('@'))) {
        *text = argument.toUtf8();
        return true;
    }
    QFile file(argument.mid(1));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    *text = file.readAll();
    return true;
}

// The JSON object in text; what describes it names it in the error.
bool parseObject(const QByteArray &text, const QString &what, QJsonObject *object, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1 is not valid JSON: %2 at offset %3")
                     .arg(what, parseError.errorString())
                     .arg(parseError.offset);
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object").arg(what);
        return false;
    }
    *object = document.object();
    return true;
}

// A domain table maps each source to a group whose addresses and bucket are texts; anything
// else would be read as empty addresses without a word.
bool isDomainTable(const QJsonObject &table, const QString &what, QString *error)
{
    for (auto group = table.constBegin(); group != table.constEnd(); ++group) {
        if (!group.value().isObject()) {
            *error =
                QStringLiteral("%1: \"%2\" is not an object of addresses").arg(what, group.key());
            return false;
        }
        const QJsonObject addresses = group.value().toObject();
        for (auto address = addresses.constBegin(); address != addresses.constEnd(); ++address) {
            if (!address.value().isString()) {
                *error = QStringLiteral("%1: \"%2\".\"%3\" is not a text")
                             .arg(what, group.key(), address.key());
                return false;
            }
        }
    }
    return true;
}

} // namespace

int runUrlCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("url"),
                        QStringLiteral("Prints the full address from which a transfer record's "
                                       "file is fetched.\nSignatures come from a fixed local "
                                       "signer: \"local-\" followed by the bucket label."));
    line.addPositional(QStringLiteral("RECORD_JSON"),
                       QStringLiteral("The transfer record as JSON text, or @FILE to read it "
                                      "from FILE."));
    line.addOption(QStringLiteral("domains"),
                   QStringLiteral("JSON file with the storage domain table (the host's "
                                  "\"ResourceDomain\": each source maps to an object of "
                                  "texts). Without it the table is empty and the address is "
                                  "the cloud path."),
                   QStringLiteral("FILE"));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 1, 1, &exitCode))
        return exitCode;

    QString error;
    QByteArray text;
    QJsonObject record;
    if (!readArgumentText(line.positionals().constFirst(), &text, &error) ||
        !parseObject(text, QStringLiteral("RECORD_JSON"), &record, &error))
        return line.fail(error);
    QJsonObject domains;
    if (line.isSet(QStringLiteral("domains"))) {
        const QString domainsFile = line.value(QStringLiteral("domains"));
        if (!readArgumentText(QLatin1Char('@') + domainsFile, &text, &error) ||
            !parseObject(text, domainsFile, &domains, &error) ||
            !isDomainTable(domains, domainsFile, &error))
            return line.fail(error);
    }

    if (QCoreApplication *app = QCoreApplication::instance())
        app->setProperty("ResourceDomain", domains);
    LocalNetWorkManager net;
    YRResourceManage manage(&net);
    const QString address = manage.getFullUrl(record);
    if (address.isEmpty())
        return line.fail(QStringLiteral("no address for fileCloudSource \"%1\"")
                             .arg(record.value(QLatin1String("fileCloudSource")).toString()));
    standardOutput() << address << '\n';
    return ExitSuccess;
}
