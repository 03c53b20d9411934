// Includes every public header, so that each one compiles with the installed files alone.
#include "interfaces/cyrcommonutils.h"
#include "interfaces/iyrnetworkmanager.h"
#include "interfaces/planpackage.h"
#include "interfaces/yrtpversiontransformdialog.h"
#include "plandata/iyrplandata.h"
#include "plandata/planpaths.h"
#include "plandata/tprecords.h"
#include "plandata/yrplandata.h"
#include "resourcemanage/yrresourcemanage.h"
#include "teachingplanoperate/yrcalexportprocess.h"
#include "teachingplanoperate/yrextractteachingplan.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    YRPlanData plan;
    const bool loaded = plan.setJson(QStringLiteral(
        R"({"description": {"documentVersion": "5.0", "name": "consumer"}, "steps": []})"));
    return loaded && plan.getTeachingPlanAttr().strName == QLatin1String("consumer") &&
                   YRTeachingPlanOperate::stateName(TPOS_Success_Open) ==
                       QLatin1String("TPOS_Success_Open")
               ? 0
               : 1;
}
