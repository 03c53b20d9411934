#ifndef OBJECTKEYS_H
#define OBJECTKEYS_H

#include <QByteArray>
#include <QString>

// How an object's key becomes a path below its bucket's directory, and back. Each segment of
// the key (between "/") becomes one directory, the last one a file named with "@" at its end;
// the few bytes that a file system may not hold or that would make a name ambiguous ("%", "@",
// the characters Windows reserves, a trailing dot or blank) are written as %XX. So "a" and
// "a/b" can both be objects ("a@" beside the directory "a"), and no key names anything but a
// file of its own below the bucket.
namespace ObjectKeys {

// Why the key cannot name an object ("", when it can): empty or longer than 1024 bytes, not
// UTF-8, holding NUL, a control character or a backslash, a "." or ".." segment, an empty
// segment other than a trailing "/", or a segment too long for a file name.
QString refusal(const QByteArray &key);

// The relative path of the object's file below the bucket's directory (key accepted).
QString filePath(const QByteArray &key);

// A directory entry's name back to its key segment; false for a name this scheme never makes.
bool segmentOfDirectory(const QString &name, QByteArray *segment);
bool segmentOfFile(const QString &name, QByteArray *segment);

// The directory (relative to the bucket) that holds every key beginning with prefix, as far
// as the prefix's complete segments go; empty for the bucket itself.
QString directoryOfPrefix(const QByteArray &prefix);

} // namespace ObjectKeys

#endif // OBJECTKEYS_H
