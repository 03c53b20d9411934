#ifndef STUDIO_DEMOPLAN_H
#define STUDIO_DEMOPLAN_H

#include <QString>

class StudioWindow;

// Fills a new plan in window with a lesson a teacher would recognise: steps of several types,
// a group-inquiry step with two task sheets, nodes of every kind and pictures drawn for it,
// which are added as files (their copies finish once the window's copier is idle). Pictures are
// drawn into pictureFolder. False when no new plan could be made.
bool buildDemoPlan(StudioWindow &window, const QString &pictureFolder);

#endif // STUDIO_DEMOPLAN_H
