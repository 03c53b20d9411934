#ifndef PLANPACKAGE_H
#define PLANPACKAGE_H

#include "yrdata_export.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

// Plan packages (.yrtp, zip archives of a plan directory): the one reader through which every
// caller reads them, the checks every package passes before a byte of it is written, and the
// rules for where a package may be written.

namespace YRPlanPackage {

// The name of the plan document at the top of every package.
YRDATA_EXPORT QString documentName();

// One entry of a package as its central directory describes it.
struct PackageEntry
{
    QString name; // as stored, decoded (UTF-8, Info-ZIP Unicode Path, or GB18030)
    QString path; // cleaned path below the destination; empty when refused
    bool isDirectory = false;
    qint64 size = 0; // declared uncompressed size
    QString refusal; // why the entry must not be unpacked; empty when it may
};

// Reads a package without unpacking it. Opening reads the central directory, checks every
// entry (links, names that leave the destination, duplicates, methods, sizes) and reads and
// parses the document; nothing is written anywhere.
class YRDATA_EXPORT PackageReader
{
public:
    explicit PackageReader(const QString &package);
    ~PackageReader();
    PackageReader(const PackageReader &) = delete;
    PackageReader &operator=(const PackageReader &) = delete;

    // False, with *error saying why, when the package is not a readable zip archive. A
    // readable package opens even when it must not be unpacked: refusals() says why.
    bool open(QString *error);

    const QVector<PackageEntry> &entries() const;
    // One line for each reason the package must not be unpacked: each refused entry ("entry
    // \"NAME\": why"), a missing document, a document that is not a JSON object. Empty when
    // it may be unpacked.
    QStringList refusals() const;
    // The bytes of the document, read and checked by open(); empty when refused or missing.
    QByteArray document() const;
    // The sum of the declared sizes of all entries.
    qint64 totalSize() const;

    // Streams the data of entries()[index] through consume, block by block, never more than
    // its declared size. False, with *error, when the entry is refused, its data is damaged
    // (CRC-32 or size), longer than declared, unreadable, or consume returns false.
    bool readEntry(int index, const std::function<bool(const char *, qint64)> &consume,
                   QString *error);

    // Unpacks every entry below destination (created when missing). Refused when refusals()
    // is not empty, when the declared sizes do not fit in the destination's free space, or
    // when an entry cannot be written in full; then every file written so far is removed.
    bool extractTo(const QString &destination, QString *error);

private:
    class Private;
    std::unique_ptr<Private> d;
};

// Opens package and unpacks it into destination; false, with *error (when given) naming the
// entry and why, when it is refused or fails. Nothing is left of a failed unpack.
YRDATA_EXPORT bool extractPackage(const QString &package, const QString &destination,
                                  QString *error = nullptr);

// Whether a package may be written at path: a new name in an existing directory, or an
// existing regular file (through a link, its target). False, with *error, for a directory,
// device, FIFO or socket.
YRDATA_EXPORT bool isPackageOutput(const QString &path, QString *error = nullptr);

// Packs planDirectory, whose teachpkg.json must be a regular file (not a link), into package
// as stored entries. False, with *error naming the file, when the document is missing or a
// link, when a file of the plan cannot be packed, or when package is no place for a package;
// package is then left as it was.
YRDATA_EXPORT bool packPlan(const QString &package, const QString &planDirectory,
                            QString *error = nullptr);

// Bytes done and the total of the pack or unpack under way, reported block by block from the
// thread that does the work.
using ProgressObserver = std::function<void(qint64 done, qint64 total)>;
// Installs the observer that every pack and unpack of this process reports to (a command line
// draws its progress with it); an empty one removes it.
YRDATA_EXPORT void setProgressObserver(ProgressObserver observer);

} // namespace YRPlanPackage

#endif // PLANPACKAGE_H
