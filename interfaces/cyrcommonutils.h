#ifndef CYRCOMMONUTILS_H
#define CYRCOMMONUTILS_H

#include "yrdata_export.h"

#include <QString>

// Static helpers of the common-utilities component.
class YRDATA_EXPORT CYrCommonUtils
{
public:
    // MD5 of the file's bytes as 32 lower-case hexadecimal digits; empty when the file cannot
    // be read. The file is streamed, so memory stays flat whatever its size.
    static QString getFileMD5(const QString &filePath);

    // path and fileName joined with exactly one "/" between them, whether or not path ends in
    // a separator and fileName begins with one.
    static QString JoinPathFileName(const QString &path, const QString &fileName);

    // Writes a zip archive of dir (its subdirectories too when recursive) into fileCompressed,
    // every entry named by its path relative to dir. Level 0 stores the entries uncompressed;
    // 1 to 9 deflate them. The archive replaces fileCompressed only once it is complete.
    static bool compressDir_level(const QString &fileCompressed, const QString &dir,
                                  bool recursive, int level);

    // For an image file, writes "<base>_small.<suffix>" beside it: the image scaled to fit
    // 120x120, aspect kept. False (and nothing written) for anything that is not an image.
    static bool copyImageTo120_120px(const QString &filePath);
};

#endif // CYRCOMMONUTILS_H
