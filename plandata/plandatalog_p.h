#ifndef PLANDATALOG_P_H
#define PLANDATALOG_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlanData)

#endif // PLANDATALOG_P_H
