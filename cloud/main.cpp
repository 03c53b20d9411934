#include "commandline.h"

#include <QCoreApplication>
#include <QLoggingCategory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("yrcloud"));
    QCoreApplication::setApplicationVersion(QStringLiteral(YRDATA_VERSION));
    // A time on every log line; traces only when QT_LOGGING_RULES asks for them.
    qSetMessagePattern(QStringLiteral(
        "%{time yyyy-MM-ddThh:mm:ss.zzz} %{if-category}%{category}: %{endif}%{message}"));
    QLoggingCategory::setFilterRules(QStringLiteral("yrcloud.*.debug=false"));
    return runCommandLine(QCoreApplication::arguments());
}
