#ifndef STUDIO_STUDIOSETUP_H
#define STUDIO_STUDIOSETUP_H

class QCoreApplication;

// What must happen before the QApplication exists: the page's file scheme is registered.
void prepareStudioEngine();
// Installs the studio's translation for the system locale (English when there is none), and
// Qt's own for its standard dialogs.
void installStudioTranslations(QCoreApplication &app);

#endif // STUDIO_STUDIOSETUP_H
