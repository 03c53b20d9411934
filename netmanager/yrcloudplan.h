#ifndef YRCLOUDPLAN_H
#define YRCLOUDPLAN_H

#include "yrnetwork_export.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

// One plan of the signed-in user as the plan service lists it: what a host shows in its plan
// list and what the controller's cloud operations take (the id and the document's path).
struct YRNETWORK_EXPORT YRCloudPlan
{
    int id = -1;
    QString title;
    int stepCount = 0;
    qint64 date = 0;    // seconds since 1970
    QString jsonPath;   // the document, relative to the teaching-plan root
    QJsonObject record; // the entry as the service gave it

    // The api of the list, for the request object's sendQueryRequest (no parameters).
    static QString listApi();
    // The plans of a list answer ({"success": true, "data": [...]}), in its order: newest
    // first. Numbers may come as JSON numbers or as text.
    static QVector<YRCloudPlan> listedIn(const QJsonObject &reply);
};

#endif // YRCLOUDPLAN_H
