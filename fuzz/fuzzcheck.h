#ifndef FUZZCHECK_H
#define FUZZCHECK_H

// What every fuzz input must leave true, besides the absence of crashes, leaks and hangs.

#include "plandata/planpaths.h"
#include "plandata/yrplandata.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>

namespace FuzzCheck {

inline const QString &planDir()
{
    static const QString dir = QStringLiteral("/fuzz-root/plans/plan-1");
    return dir;
}

[[noreturn]] inline void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "property broken: %s: %s\n", what, qPrintable(detail));
    std::abort();
}

// Every queued record names a file inside the plan directory, or (an empty local path) the
// plan directory itself.
inline void recordsStayInsidePlan(const QVector<QJsonObject> &records)
{
    for (const QJsonObject &record : records) {
        const QJsonValue dest = record.value(QLatin1String("dest"));
        if (!dest.isString())
            fail("record without a text dest", QString::number(records.size()));
        const QString path = dest.toString();
        if (path != planDir() && !YRPlanPaths::isInside(planDir(), path))
            fail("dest outside the plan directory", path);
    }
}

inline void planRecordsStayInside(YRPlanData &data)
{
    recordsStayInsidePlan(data.getJsonFiles());
    recordsStayInsidePlan(data.getJsonQuestions());
}

} // namespace FuzzCheck

// Shared by the targets (each includes this header from its one source file): an application
// object for the whole run, and the library's log silenced.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives for the whole run
    QLoggingCategory::setFilterRules(QStringLiteral("yrdata.*=false\n*.debug=false"));
    return 0;
}

#endif // FUZZCHECK_H
