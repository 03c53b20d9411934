#include "plandata/yrplandata.h"

#include "interfaces/cyrcommonutils.h"
#include "plandata/plandatalog_p.h"
#include "plandata/planpaths.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSettings>
#include <QUuid>

#include <algorithm>

Q_LOGGING_CATEGORY(lcPlanData, "yrdata.plandata")

namespace {

const char kDocumentName[] = "/teachpkg.json";

// Writes text to file in UTF-8 a block at a time; false when a block is not written whole.
// Converting a large document in one piece costs several times more, most of it in a buffer
// three times the text's size that the conversion asks for.
bool writeUtf8(QIODevice &file, const QString &text)
{
    const qsizetype block = 1 << 16;
    QStringView rest(text);
    while (!rest.isEmpty()) {
        qsizetype size = std::min(block, rest.size());
        // Both halves of a surrogate pair go into the same block.
        if (size < rest.size() && rest.at(size - 1).isHighSurrogate())
            --size;
        const QByteArray bytes = rest.left(size).toUtf8();
        if (file.write(bytes) != bytes.size())
            return false;
        rest = rest.mid(size);
    }
    return true;
}

} // namespace

YRPlanData::YRPlanData(QObject *parent) : QObject(parent) {}

YRPlanData::~YRPlanData()
{
    clearTeachingPlanData();
}

QObject *YRPlanData::getObject()
{
    return this;
}

bool YRPlanData::saveJson(const QString &json, const QString &fileName)
{
    if (teachingPlanDir.isEmpty())
        return false;
    const QString target = CYrCommonUtils::JoinPathFileName(
        teachingPlanDir, fileName.isEmpty() ? QString::fromLatin1(kDocumentName) : fileName);
    if (!YRPlanPaths::isInside(teachingPlanDir, target)) {
        qCWarning(lcPlanData).noquote() << "YRPlanData::saveJson"
                                        << "refused: the file leaves the plan directory" << target;
        return false;
    }
    // The plan's own document text is already in the normal form (callers pass getJson() on
    // every edit, and parsing a large plan again costs more than the rest of the edit). Any
    // other text must parse: what does not must not replace what is on disk.
    const bool normal =
        documentTextWritten && (json.isSharedWith(documentText) || json == documentText);
    QByteArray text;
    if (!normal) {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            qCWarning(lcPlanData).noquote() << "YRPlanData::saveJson"
                                            << "the text is not JSON:" << parseError.errorString();
            return false;
        }
        text = document.toJson(QJsonDocument::Indented);
    }
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCWarning(lcPlanData).noquote() << "YRPlanData::saveJson" << target << file.errorString();
        return false;
    }
    // A short write (a full disk) reports no error of its own: the count tells it, and the
    // document on disk must then stay as it was.
    if (normal ? !writeUtf8(file, documentText) : file.write(text) != text.size())
        file.cancelWriting();
    if (!file.commit()) {
        qCWarning(lcPlanData).noquote() << "YRPlanData::saveJson" << target << file.errorString();
        return false;
    }
    return true;
}

const QString &YRPlanData::getJson() const
{
    return documentText;
}

QString YRPlanData::getJson(const QString &path, bool isAbsolute)
{
    qCDebug(lcPlanData).noquote() << "YRPlanData::getJson" << path;
    QString filePath = path;
    if (!isAbsolute) {
        const QString base = YRPlanPaths::teachingPlanRootWithSlash();
        const QString uid = YRPlanPaths::signedInUserId();
        filePath = path.contains(uid) ? base + path : base + uid + path;
    }
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QVariantMap YRPlanData::getPlanInfo()
{
    QVariantMap info;
    info.insert(QStringLiteral("strName"), attr.strName);
    info.insert(QStringLiteral("strGUID"), attr.strGUID);
    info.insert(QStringLiteral("strDocumentVersion"), attr.strDocumentVersion);
    info.insert(QStringLiteral("iCreateTime"), attr.iCreateTime);
    info.insert(QStringLiteral("iUpdateTime"), attr.iUpdateTime);
    info.insert(QStringLiteral("iAuthorId"), attr.iAuthorId);
    info.insert(QStringLiteral("iStepCount"), attr.iStepCount);
    info.insert(QStringLiteral("strIntrospection"), attr.strIntrospection);
    info.insert(QStringLiteral("iBoardId"), attr.iBoardId);
    info.insert(QStringLiteral("strPlanCacheDir"), teachingPlanDir);
    info.insert(QStringLiteral("strPlanConfigFile"), teachingPlanDir);
    if (!teachingPlanDir.isEmpty()) {
        const QString document = QString::fromLatin1(kDocumentName);
        info.insert(QStringLiteral("jsonCloudRoad"),
                    teachingPlanDir.mid(teachingPlanRoot.size() + 1) + document);
        info.insert(QStringLiteral("jsonRoad"), teachingPlanDir + document);
    }
    return info;
}

void YRPlanData::initTeachingPlanAttr()
{
    clearTeachingPlanData();
    attr.strGUID = createGUID();
    attr.iPlanId = -1;
    const QDate today = QDate::currentDate();
    attr.strName = tr("未命名教案%1-%2-%3").arg(today.year()).arg(today.month()).arg(today.day());
    attr.strDocumentVersion = QStringLiteral("5.0");
    attr.iCreateTime = QDateTime::currentSecsSinceEpoch();
    attr.iUpdateTime = attr.iCreateTime;
    attr.iAuthorId = YRPlanPaths::signedInUserId();
    attr.iStepCount = 0;
    attr.strIntrospection.clear();
    attr.iBoardId = 4;

    const QString root = YRPlanPaths::teachingPlanRoot();
    if (!QDir().mkpath(root))
        qCWarning(lcPlanData).noquote() << "YRPlanData::initTeachingPlanAttr"
                                        << "cannot create" << root;
    setTeachingPlanRoot(QDir(root).absolutePath());
}

void YRPlanData::setTeachingPlanAttr(const TeachingPlanAttr &newAttr)
{
    attr = newAttr;
    localToJsonFile();
}

const TeachingPlanAttr &YRPlanData::getTeachingPlanAttr() const
{
    return attr;
}

void YRPlanData::setTeachingPlanRoot(const QString &root)
{
    teachingPlanRoot = root;
}

const QString &YRPlanData::getTeachingPlanRoot() const
{
    return teachingPlanRoot;
}

void YRPlanData::setTeachingPlanDir(const QString &dir)
{
    // An empty text unsets the directory: taking it as the current directory would let the
    // next save write into wherever the process happens to run.
    if (dir.isEmpty()) {
        teachingPlanDir.clear();
        return;
    }
    teachingPlanDir = QDir(dir).absolutePath();
    const QStringList parts = teachingPlanDir.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty()) {
        attr.strGUID = parts.last();
        qCDebug(lcPlanData).noquote() << "YRPlanData::setTeachingPlanDir" << attr.strGUID;
    }
}

const QString &YRPlanData::getTeachingPlanDir() const
{
    return teachingPlanDir;
}

int YRPlanData::getTeachingPlanStepCount()
{
    return steps.size();
}

bool YRPlanData::setJson(const QString &json)
{
    const QByteArray utf8 = json.toUtf8();
    // On success the writer replaces the text at once, so the round trip through UTF-8 is
    // only kept where the text survives: when reading or writing fails. Until then the text
    // only holds room for the writer: about as long as what is read.
    documentText.clear();
    documentText.reserve(utf8.size());
    if (!readDocument(utf8) || !localToJsonFile()) {
        documentText = QString::fromUtf8(utf8);
        documentTextWritten = false;
        return false;
    }
    return true;
}

QVector<QJsonObject> &YRPlanData::getJsonFiles()
{
    return jsonFiles;
}

void YRPlanData::clearJsonFiles()
{
    jsonFiles.clear();
}

QVector<QJsonObject> &YRPlanData::getJsonQuestions()
{
    return jsonQuestions;
}

void YRPlanData::clearJsonQuestions()
{
    jsonQuestions.clear();
}

bool YRPlanData::clearTeachingPlanData()
{
    for (TPStep *step : qAsConst(steps)) {
        deleteNodes(step->nodes);
        deleteTasks(step->tasks);
        delete step;
    }
    steps.clear();
    nodeMap.clear();
    jsonFiles.clear();
    teachingPlanDir.clear();
    documentText.clear();
    documentTextWritten = false;
    attr = TeachingPlanAttr();
    return true;
}

QString YRPlanData::createGUID()
{
    const QString braced = QUuid::createUuid().toString();
    return braced.mid(1, braced.size() - 2).trimmed();
}

QString YRPlanData::getNameFromConfigFile()
{
    QSettings settings(teachingPlanDir + QStringLiteral("/planinfo.ini"), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    return settings.value(QStringLiteral("name"), QString()).toString();
}
