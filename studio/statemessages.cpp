#include "statemessages.h"

#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QCoreApplication>

namespace {

struct StateText
{
    int state;
    const char *text;
};

const StateText kStateTexts[] = {
    {TPOS_Success_Create, QT_TRANSLATE_NOOP("StateMessages", "A new plan is ready.")},
    {TPOS_Success_Open, QT_TRANSLATE_NOOP("StateMessages", "The plan is open.")},
    {TPOS_Success_Rename, QT_TRANSLATE_NOOP("StateMessages", "The plan was renamed.")},
    {TPOS_Success_Delete, QT_TRANSLATE_NOOP("StateMessages", "The plan was deleted.")},
    {TPOS_Success_Export,
     QT_TRANSLATE_NOOP("StateMessages", "The plan was exported to a package.")},
    {TPOS_Success_Import, QT_TRANSLATE_NOOP("StateMessages", "The package was imported.")},
    {TPOS_Success_Translate,
     QT_TRANSLATE_NOOP("StateMessages", "The older plan was converted and is being opened.")},
    {TPOS_Fail_Create,
     QT_TRANSLATE_NOOP("StateMessages",
                       "No new plan could be made: the plan folder cannot be written.")},
    {TPOS_Fail_Open, QT_TRANSLATE_NOOP("StateMessages", "The plan could not be opened.")},
    {TPOS_Fail_Rename, QT_TRANSLATE_NOOP("StateMessages", "The plan could not be renamed.")},
    {TPOS_Fail_Delete,
     QT_TRANSLATE_NOOP("StateMessages", "The plan could not be deleted: its files are gone.")},
    {TPOS_Fail_Export,
     QT_TRANSLATE_NOOP("StateMessages",
                       "The export failed: check the network connection and the target folder.")},
    {TPOS_Fail_Import,
     QT_TRANSLATE_NOOP("StateMessages",
                       "The package could not be imported: it is damaged or holds no plan.")},
    {TPOS_Fail_AddNode_ExistFile,
     QT_TRANSLATE_NOOP("StateMessages", "This step or task already holds that item.")},
    {TPOS_Fail_AddNode_PlanFile,
     QT_TRANSLATE_NOOP("StateMessages", "A plan file cannot be added to a task.")},
    {TPOS_Fail_Ignore,
     QT_TRANSLATE_NOOP("StateMessages", "The plan was not opened: its document could not be "
                                        "read, or its conversion was declined.")},
    {TPOS_Fail_Translate,
     QT_TRANSLATE_NOOP("StateMessages", "The plan service could not convert this older plan.")},
    {TPOS_Start_Import, QT_TRANSLATE_NOOP("StateMessages", "Importing the package…")},
    {TPOS_Start_Export, QT_TRANSLATE_NOOP("StateMessages", "Exporting the plan…")},
};

} // namespace

QString stateMessage(int state)
{
    for (const StateText &entry : kStateTexts) {
        if (entry.state == state)
            return QCoreApplication::translate("StateMessages", entry.text);
    }
    return QCoreApplication::translate("StateMessages", "The plan controller reported %1.")
        .arg(state);
}

bool isFailureStateCode(int state)
{
    return state >= TPOS_Fail_Create && state <= TPOS_Fail_Translate;
}
