#ifndef PACKAGEWRITER_P_H
#define PACKAGEWRITER_P_H

#include <QString>

// Internal to the library: the archive writer behind compressDir_level and
// YRPlanPackage::packPlan, and the progress report that pack and unpack share.

namespace YRPackageWriter {

// Writes a zip archive of dir (its subdirectories too when recursive) into archivePath,
// entries named by their path relative to dir; level 0 stores them, 1 to 9 deflates them.
// archivePath is replaced only by a complete archive, and only when it is a new name or a
// regular file. A symbolic link or special file inside dir fails the archive: nothing outside
// dir is packed, and nothing of dir is silently left out. False with *error naming the file.
bool writeDirectoryArchive(const QString &archivePath, const QString &dir, bool recursive,
                           int level, QString *error);

} // namespace YRPackageWriter

namespace YRPlanPackage {

// Tells the installed progress observer, if any.
void reportPackageProgress(qint64 done, qint64 total);

} // namespace YRPlanPackage

#endif // PACKAGEWRITER_P_H
