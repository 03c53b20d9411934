// yrstudio: the reference host window for teaching plans.

#include "demoplan.h"
#include "studiosetup.h"
#include "studiowindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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
    parser.addPositionalArgument(
        QStringLiteral("plan"),
        QApplication::translate("main", "A .yrtp package or a plan folder to open."),
        QStringLiteral("[plan]"));
    parser.process(app);

    StudioWindow window;
    window.show();
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
