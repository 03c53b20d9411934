#include "pagetexts.h"

#include <QCoreApplication>

namespace {

struct PageText
{
    const char *key;    // as the page asks for it
    const char *source; // the English text to translate; null: the key itself
};

const PageText kPageTexts[] = {
    {QT_TRANSLATE_NOOP("PageTexts", "No plan is open. Use File ▸ New or File ▸ Open."), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Plan name"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Board"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Step type"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Step name"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Add step"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Introspection"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Add web node"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Add web node…"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Kind"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Name"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Add"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Cancel"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Move up"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Move down"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Delete"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Delete?"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Add files…"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "or drop files here"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Add task"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Task name"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Task description"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Task sheet %1"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Failed"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Saved"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Save failed"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "File"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Question"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Paper"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Subject app"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "E-book page"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Cloud path"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "File type"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Question id"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Question type"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Paper id"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "App bundle id"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "App class name"), nullptr},
    {QT_TRANSLATE_NOOP("PageTexts", "Page"), nullptr},
    // The step types, by the names the plan document stores.
    {"情景导入", QT_TRANSLATE_NOOP("PageTexts", "Scene introduction")},
    {"内容精讲", QT_TRANSLATE_NOOP("PageTexts", "Content explanation")},
    {"同步习题", QT_TRANSLATE_NOOP("PageTexts", "Exercises")},
    {"随堂测试", QT_TRANSLATE_NOOP("PageTexts", "In-class test")},
    {"分组竞赛", QT_TRANSLATE_NOOP("PageTexts", "Group competition")},
    {"分组探究", QT_TRANSLATE_NOOP("PageTexts", "Group inquiry")},
    {"自定义", QT_TRANSLATE_NOOP("PageTexts", "Custom")},
};

} // namespace

QVariantMap pageTexts()
{
    QVariantMap texts;
    for (const PageText &text : kPageTexts) {
        const char *source = text.source ? text.source : text.key;
        texts.insert(QString::fromUtf8(text.key), QCoreApplication::translate("PageTexts", source));
    }
    return texts;
}
