#ifndef PLANDATALOG_H
#define PLANDATALOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlanData)

#endif // PLANDATALOG_H
