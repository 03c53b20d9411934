#include "studiosetup.h"

#include "planfilescheme.h"
#include "studiolog.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void prepareStudioEngine()
{
    PlanFileSchemeHandler::registerScheme();
}

void installStudioTranslations(QCoreApplication &app)
{
    auto *studio = new QTranslator(&app);
    if (studio->load(QLocale(), QStringLiteral("yrstudio"), QStringLiteral("_"),
                     QStringLiteral(":/translations")))
        app.installTranslator(studio);
    else
        qCDebug(lcStudio) << "no studio translation for" << QLocale().name();
    auto *qt = new QTranslator(&app);
    if (qt->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt);
}
