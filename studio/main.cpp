// yrstudio: the reference host window for teaching plans.

#include "demoplan.h"
#include "studiosetup.h"
#include "studiowindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

int main(int argc, char *argv[])
{
    prepareStudioEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("yrstudio"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    installStudioTranslations(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QApplication::translate("main", "Edits teaching plans in the plan editor page."));
    parser.addHelpOption();
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QApplication::translate("main", "Start with a demonstration plan."));
    parser.addOption(demo);
    const QCommandLineOption cloud(
        QStringLiteral("cloud"),
        QApplication::translate("main", "Sign in to the plan service at URL."),
        QStringLiteral("URL"));
    const QCommandLineOption token(
        QStringLiteral("token"),
        QApplication::translate("main", "The teacher's token for --cloud."),
        QStringLiteral("TOKEN"));
    parser.addOption(cloud);
    parser.addOption(token);
    parser.addPositionalArgument(
        QStringLiteral("plan"),
        QApplication::translate("main", "A .yrtp package or a plan folder to open."),
        QStringLiteral("[plan]"));
    parser.process(app);

    if (parser.isSet(cloud) != parser.isSet(token)) {
        std::fprintf(
            stderr, "%s\n",
            qPrintable(QApplication::translate("main", "--cloud and --token go together.")));
        return 2;
    }
    StudioWindow window;
    window.show();
    if (parser.isSet(cloud))
        window.signIn(QUrl::fromUserInput(parser.value(cloud)), parser.value(token));
    const QStringList plans = parser.positionalArguments();
    if (parser.isSet(demo)) {
        buildDemoPlan(window, QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                  QStringLiteral("/demo"));
    } else if (!plans.isEmpty()) {
        const QFileInfo plan(plans.first());
        if (plan.isDir())
            window.openPlanDirectory(plan.absoluteFilePath());
        else
            window.openPackage(plan.absoluteFilePath());
    }
    return app.exec();
}
