#include "commands.h"
#include "localnetwork.h"

#include "resourcemanage/yrresourcemanage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTextStream>

namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "yrplan url: " << message << '\n';
    return 1;
}

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

} // namespace

int runUrlCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the full address from which a transfer record's file is fetched.\n"
        "Signatures come from a fixed local signer: \"local-\" followed by the bucket label."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption domainsOption(
        QStringLiteral("domains"),
        QStringLiteral("JSON file with the storage domain table (the host's \"ResourceDomain\"). "
                       "Without it the table is empty and the address is the cloud path."),
        QStringLiteral("FILE"));
    parser.addOption(domainsOption);
    parser.addPositionalArgument(
        QStringLiteral("RECORD_JSON"),
        QStringLiteral("The transfer record as JSON text, or @FILE to read it from FILE."));

    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(helpOption)) {
        QString help = parser.helpText();
        help.replace(help.left(help.indexOf(QLatin1Char('\n'))),
                     QStringLiteral("Usage: yrplan url [options] RECORD_JSON"));
        QTextStream(stdout) << help;
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return fail(QStringLiteral("expects one RECORD_JSON (see yrplan url --help)"));

    QString error;
    QByteArray text;
    QJsonObject record;
    if (!readArgumentText(positional.first(), &text, &error) ||
        !parseObject(text, QStringLiteral("RECORD_JSON"), &record, &error))
        return fail(error);
    QJsonObject domains;
    if (parser.isSet(domainsOption)) {
        const QString domainsFile = parser.value(domainsOption);
        if (!readArgumentText(QLatin1Char('@') + domainsFile, &text, &error) ||
            !parseObject(text, domainsFile, &domains, &error))
            return fail(error);
    }

    // The library's own trace lines are for the host's log, not for this output;
    // QT_LOGGING_RULES still turns them back on.
    QLoggingCategory::setFilterRules(QStringLiteral("yrdata.resource.debug=false\n"
                                                    "yrdata.resource.info=false\n"
                                                    "yrdata.resource.warning=false"));
    if (QCoreApplication *app = QCoreApplication::instance())
        app->setProperty("ResourceDomain", domains);
    LocalNetWorkManager net;
    YRResourceManage manage(&net);
    const QString address = manage.getFullUrl(record);
    if (address.isEmpty())
        return fail(QStringLiteral("no address for fileCloudSource \"%1\"")
                        .arg(record.value(QLatin1String("fileCloudSource")).toString()));
    QTextStream(stdout) << address << '\n';
    return 0;
}
