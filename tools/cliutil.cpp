#include "cliutil.h"

#include <QCoreApplication>
#include <QJsonDocument>
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
        {1, QStringLiteral("情景导入"), QStringLiteral("intro")},
        {2, QStringLiteral("内容精讲"), QStringLiteral("explain")},
        {4, QStringLiteral("同步习题"), QStringLiteral("exercise")},
        {8, QStringLiteral("随堂测试"), QStringLiteral("test")},
        {16, QStringLiteral("分组竞赛"), QStringLiteral("competition")},
        {32, QStringLiteral("分组探究"), QStringLiteral("inquiry")},
        {64, QStringLiteral("自定义"), QStringLiteral("custom")},
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

void printJsonLine(const QJsonObject &object)
{
    standardOutput() << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact))
                     << '\n';
}

SubcommandLine::SubcommandLine(const QString &name, const QString &description) : commandName(name)
{
    commandParser.setApplicationDescription(description);
    commandParser.addHelpOption();
    commandParser.addOption(QCommandLineOption(
        QStringLiteral("verbose"), QStringLiteral("Show the library's debug log on stderr.")));
}

void SubcommandLine::addPositional(const QString &argument, const QString &description,
                                   const QString &syntax)
{
    commandParser.addPositionalArgument(argument, description, syntax);
}

bool SubcommandLine::parse(const QStringList &arguments, int minimum, int maximum, int *exitCode,
                           const QStringList &required)
{
    if (!commandParser.parse(arguments)) {
        *exitCode = usageError(commandParser.errorText());
        return false;
    }
    if (commandParser.isSet(QStringLiteral("help")) ||
        commandParser.isSet(QStringLiteral("help-all"))) {
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
    // The parser names the executable in its usage line; the subcommand belongs there too.
    QString text = commandParser.helpText();
    const int endOfLine = text.indexOf(QLatin1Char('\n'));
    const QString usagePrefix = QStringLiteral("Usage: ");
    QString usage = text.left(endOfLine);
    const int optionsAt = usage.indexOf(QStringLiteral(" [options]"));
    if (usage.startsWith(usagePrefix) && optionsAt > 0)
        usage = usagePrefix + QStringLiteral("yrplan ") + commandName + usage.mid(optionsAt);
    return usage + text.mid(endOfLine);
}

QString stepTypeNameFromArgument(const QString &argument)
{
    const QString text = argument.trimmed();
    if (text == QStringLiteral("情境导入"))
        return text; // the older spelling, which the document reader accepts too
    bool isNumber = false;
    const int code = text.toInt(&isNumber);
    for (const StepTypeEntry &entry : stepTypeTable()) {
        if (text == entry.name || (isNumber && code == entry.code) ||
            text.compare(entry.alias, Qt::CaseInsensitive) == 0)
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

int stepTypeCodeOfName(const QString &name)
{
    if (name == QStringLiteral("情境导入"))
        return 1;
    for (const StepTypeEntry &entry : stepTypeTable()) {
        if (name == entry.name)
            return entry.code;
    }
    return 0;
}
