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
    // separators and fileName begins with them ("/" or "\\"). An empty path gives fileName,
    // an empty fileName gives path, each unchanged.
    static QString JoinPathFileName(const QString &path, const QString &fileName);

    // Writes a zip archive of dir (its subdirectories too when recursive) into fileCompressed,
    // entries named by their path relative to dir; symbolic links and the archive itself are
    // left out. Level 0 stores the entries, 1 to 9 deflate them. fileCompressed is replaced
    // only by a complete archive: on false it is left as it was.
    static bool compressDir_level(const QString &fileCompressed, const QString &dir, bool recursive,
                                  int level);

    // The small copy that copyImageTo120_120px makes of filePath: "<base>_small.<suffix>"
    // beside it, for a png, jpg, jpeg, bmp, ico or cur image (any letter case) that is not a
    // small copy itself; empty for any other file.
    static QString smallCopyPath(const QString &filePath);

    // For a png, jpg, jpeg, bmp, ico or cur image, writes "<base>_small.<suffix>" beside it:
    // the image scaled down to fit 120x120, aspect kept. False, and nothing written, for other
    // files, unreadable images and files that are themselves "_small" copies.
    static bool copyImageTo120_120px(const QString &filePath);
};

#endif // CYRCOMMONUTILS_H
