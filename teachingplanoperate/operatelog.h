#ifndef OPERATELOG_H
#define OPERATELOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcOperate)

#endif // OPERATELOG_H
