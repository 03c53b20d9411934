#ifndef STUDIO_STATEMESSAGES_H
#define STUDIO_STATEMESSAGES_H

#include <QString>

// What a state code of the plan controller tells the teacher, in the studio's language.
QString stateMessage(int state);
// True for the codes that report a failure.
bool isFailureStateCode(int state);

#endif // STUDIO_STATEMESSAGES_H
