#ifndef CLOUDLOG_H
#define CLOUDLOG_H

#include <QLoggingCategory>

// The server's diagnostics, one category per part: what a support engineer must see goes out
// as a warning, traces as debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcServer)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcPlans)
Q_DECLARE_LOGGING_CATEGORY(lcDatabase)

#endif // CLOUDLOG_H
