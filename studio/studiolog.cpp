#include "studiolog.h"

Q_LOGGING_CATEGORY(lcStudio, "yrstudio")
Q_LOGGING_CATEGORY(lcStudioPage, "yrstudio.page")
