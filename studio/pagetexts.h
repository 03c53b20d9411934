#ifndef STUDIO_PAGETEXTS_H
#define STUDIO_PAGETEXTS_H

#include <QVariantMap>

// The editor page's labels in the studio's language, by the key the page uses (its English
// text, or a step type's name as the plan document stores it). The page gets them through the
// bridge, so one set of translation files serves the window and the page.
QVariantMap pageTexts();

#endif // STUDIO_PAGETEXTS_H
