#ifndef PLANPATHS_H
#define PLANPATHS_H

#include "yrdata_export.h"

#include <QJsonObject>
#include <QString>

namespace YRPlanPaths {

// The signed-in user's id: the application property "uid", read now; empty when nobody is
// signed in or there is no application object.
YRDATA_EXPORT QString signedInUserId();

// The host's table of storage domains (application property "ResourceDomain", given as a JSON
// object, document, text or variant map), read now; empty when missing or unreadable.
YRDATA_EXPORT QJsonObject resourceDomains();

// The root of all teaching plans: ALLUSERSPROFILE + "/Orvane/Tavrunelcore/TeachPlans", with "/"
// separators. Where ALLUSERSPROFILE is unset or empty, the base is the user's generic data
// location instead. Not created here.
YRDATA_EXPORT QString teachingPlanRoot();

// The same with a trailing "/": the base against which relative document paths are read.
YRDATA_EXPORT QString teachingPlanRootWithSlash();

// True when path, once cleaned, lies strictly inside dir (dir itself does not count). Paths
// with backslashes or a drive colon never do.
YRDATA_EXPORT bool isInside(const QString &dir, const QString &path);

// True when localPath, a path relative to a plan directory, names something strictly inside
// it: it begins with "/", has no backslash or colon, and its ".." parts do not climb out.
YRDATA_EXPORT bool isPlanRelative(const QString &localPath);

// True when name can be the name of a file of its own in a folder on every system a plan
// travels to: not empty, not "." or "..", no "/", "\\", ":" or NUL, at most 255 bytes.
YRDATA_EXPORT bool isPlainFileName(const QString &name);

// The absolute file that a plan-relative local path names: dir followed directly by
// localPath. An empty localPath names dir itself. Returns false (and leaves *result alone)
// when the result would leave dir: localPath without its leading "/", with "..", backslashes
// or a drive colon that escape it.
YRDATA_EXPORT bool planFilePath(const QString &dir, const QString &localPath, QString *result);

} // namespace YRPlanPaths

#endif // PLANPATHS_H
