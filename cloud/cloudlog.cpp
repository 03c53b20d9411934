#include "cloudlog.h"

Q_LOGGING_CATEGORY(lcServer, "yrcloud.server")
Q_LOGGING_CATEGORY(lcStore, "yrcloud.store")
Q_LOGGING_CATEGORY(lcPlans, "yrcloud.plans")
Q_LOGGING_CATEGORY(lcDatabase, "yrcloud.database")
