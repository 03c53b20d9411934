#include "cliutil.h"

#include "plandata/tprecords.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QMutex>
#include <QMutexLocker>
#include <QVector>

namespace {

struct StepTypeEntry
{
    int code;
    QString name;  // as the document writes it
    QString alias; // English, for the command line
};

const QVector<StepTypeEntry> &stepTypeTable()
{
    static const QVector<StepTypeEntry> table = {
        {TPST_SceneIntroduction, QStringLiteral("情景导入"), QStringLiteral("intro")},
        {TPST_ContentExplanation, QStringLiteral("内容精讲"), QStringLiteral("explain")},
        {TPST_Exercises, QStringLiteral("同步习题"), QStringLiteral("exercise")},
        {TPST_Test, QStringLiteral("随堂测试"), QStringLiteral("test")},
        {TPST_GroupCompetition, QStringLiteral("分组竞赛"), QStringLiteral("competition")},
        {TPST_GroupInquiry, QStringLiteral("分组探究"), QStringLiteral("inquiry")},
        {TPST_Custom, QStringLiteral("自定义"), QStringLiteral("custom")},
    };
    return table;
}

QTextStream &utf8Stream(FILE *file)
{
    static QTextStream out(stdout);
    static QTextStream err(stderr);
    static const bool codecsSet = [] {
        out.setCodec("UTF-8");
        err.setCodec("UTF-8");
        return true;
    }();
    Q_UNUSED(codecsSet)
    return file == stderr ? err : out;
}

// The library also logs from its worker threads.
QMutex heldWarningsMutex;
QStringList heldWarnings;
QtMessageHandler printingHandler = nullptr;

void holdOrPrintMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && context.category &&
        (qstrncmp(context.category, "yrdata.", 7) == 0 ||
         qstrncmp(context.category, "yrnetwork.", 10) == 0)) {
        QMutexLocker locker(&heldWarningsMutex);
        heldWarnings << message;
        return;
    }
    if (printingHandler)
        printingHandler(type, context, message);
}

QString singleLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.trimmed();
}

} // namespace

QTextStream &standardOutput()
{
    return utf8Stream(stdout);
}

QTextStream &standardError()
{
    return utf8Stream(stderr);
}

void holdLibraryWarnings()
{
    printingHandler = qInstallMessageHandler(holdOrPrintMessage);
}

QStringList takeLibraryWarnings()
{
    QMutexLocker locker(&heldWarningsMutex);
    QStringList taken;
    taken.swap(heldWarnings);
    return taken;
}

void printJsonLine(const QJsonObject &object)
{
    standardOutput() << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact))
                     << '\n';
}

SubcommandLine::SubcommandLine(const QString &name, const QString &description) : commandName(name)
{
    commandParser.setApplicationDescription(description);
    // Not addHelpOption(): its --help-all promises Qt's own options, which no command takes.
    commandParser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                               QStringLiteral("Show this help.")));
    commandParser.addOption(QCommandLineOption(
        QStringLiteral("verbose"), QStringLiteral("Show the library's debug log on stderr.")));
}

void SubcommandLine::addPositional(const QString &argument, const QString &description)
{
    commandParser.addPositionalArgument(argument, description);
}

bool SubcommandLine::parse(const QStringList &arguments, int minimum, int maximum, int *exitCode,
                           const QStringList &required)
{
    if (!commandParser.parse(arguments)) {
        *exitCode = usageError(commandParser.errorText());
        return false;
    }
    if (commandParser.isSet(QStringLiteral("help"))) {
        standardOutput() << helpText();
        *exitCode = ExitSuccess;
        return false;
    }
    const int count = commandParser.positionalArguments().size();
    if (count < minimum || count > maximum) {
        *exitCode = usageError(
            count < minimum
                ? QStringLiteral("missing arguments (see yrplan %1 --help)").arg(commandName)
                : QStringLiteral("unexpected argument \"%1\"")
                      .arg(commandParser.positionalArguments().at(maximum)));
        return false;
    }
    for (const QString &option : required) {
        if (!commandParser.isSet(option)) {
            *exitCode = usageError(QStringLiteral("--%1 is required").arg(option));
            return false;
        }
    }
    return true;
}

int SubcommandLine::fail(const QString &message) const
{
    standardError() << "yrplan " << commandName << ": " << singleLine(message) << '\n';
    standardError().flush();
    return ExitFailure;
}

int SubcommandLine::usageError(const QString &message) const
{
    fail(message);
    return ExitUsage;
}

QString SubcommandLine::helpText() const
{
    // The parser names the executable's path in its usage line; the subcommand belongs there.
    const QString text = commandParser.helpText();
    return QStringLiteral("Usage: yrplan ") + commandName +
           text.mid(text.indexOf(QStringLiteral(" [options]")));
}

int stepTypeCode(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == QStringLiteral("情境导入"))
        return TPST_SceneIntroduction; // the older spelling, which the document reader accepts
    bool isNumber = false;
    const int code = trimmed.toInt(&isNumber);
    for (const StepTypeEntry &entry : stepTypeTable()) {
        if (trimmed == entry.name || (isNumber && code == entry.code) ||
            trimmed.compare(entry.alias, Qt::CaseInsensitive) == 0)
            return entry.code;
    }
    return TPST_Unknown;
}

QString stepTypeName(int code)
{
    for (const StepTypeEntry &entry : stepTypeTable()) {
        if (code == entry.code)
            return entry.name;
    }
    return QString();
}

QString stepTypeList()
{
    QStringList names;
    for (const StepTypeEntry &entry : stepTypeTable())
        names << QStringLiteral("%1 (%2, %3)").arg(entry.name).arg(entry.code).arg(entry.alias);
    return names.join(QStringLiteral(", "));
}
