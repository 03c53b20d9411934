#ifndef STUDIO_STUDIOLOG_H
#define STUDIO_STUDIOLOG_H

#include <QLoggingCategory>

// Diagnostics of the studio window and its page.
Q_DECLARE_LOGGING_CATEGORY(lcStudio)
// What the page itself writes to its console.
Q_DECLARE_LOGGING_CATEGORY(lcStudioPage)

#endif // STUDIO_STUDIOLOG_H
