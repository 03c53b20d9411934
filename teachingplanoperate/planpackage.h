#ifndef PLANPACKAGE_H
#define PLANPACKAGE_H

#include "yrdata_export.h"

#include <QString>

namespace YRPlanPackage {

// Unpacks every entry of the zip archive package into destination (created when missing).
// Every entry is checked first: an archive holding an entry that would land outside
// destination (".." parts, an absolute path, a drive, a backslash) or a symbolic link is
// refused whole and nothing is written. False also when the archive cannot be read or a file
// cannot be written; *error (when given) then says why.
YRDATA_EXPORT bool extractPackage(const QString &package, const QString &destination,
                                  QString *error = nullptr);

} // namespace YRPlanPackage

#endif // PLANPACKAGE_H
