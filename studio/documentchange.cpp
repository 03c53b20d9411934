// A JSON scanner of its own: Qt's parser builds the whole document, where finding the value that
// holds an edit needs only the containers open at one position and the end of a few values.

#include "documentchange.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// A container open at the scanned position, and the member of it being read.
struct OpenValue
{
    int start = 0;
    bool object = false;
    QStringView key;
    int index = 0;
};

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t';
}

bool startsValue(char16_t c)
{
    return c == u'"' || c == u'{' || c == u'[' || c == u'-' || (c >= u'0' && c <= u'9') ||
           c == u't' || c == u'f' || c == u'n';
}

// The index after the closing quote of the string whose opening quote is at quote; -1 when it
// is not closed.
int stringEnd(QStringView text, int quote)
{
    const char16_t *s = text.utf16();
    const int size = int(text.size());
    for (int i = quote + 1; i < size; ++i) {
        if (s[i] == u'\\')
            ++i;
        else if (s[i] == u'"')
            return i + 1;
    }
    return -1;
}

// The index after the number or literal that starts at start.
int scalarEnd(QStringView text, int start)
{
    const char16_t *s = text.utf16();
    const int size = int(text.size());
    int i = start;
    while (i < size && s[i] != u',' && s[i] != u'}' && s[i] != u']' && !isSpace(s[i]))
        ++i;
    return i;
}

// The index after the value that starts at start; -1 when it is not closed within limit.
int valueEnd(QStringView text, int start, int limit)
{
    const char16_t *s = text.utf16();
    limit = std::min(limit, int(text.size()));
    if (s[start] == u'"') {
        const int end = stringEnd(text, start);
        return end <= limit ? end : -1;
    }
    if (s[start] != u'{' && s[start] != u'[') {
        const int end = scalarEnd(text, start);
        return end <= limit ? end : -1;
    }
    int depth = 0;
    for (int i = start; i < limit; ++i) {
        const char16_t c = s[i];
        if (c == u'"') {
            const int end = stringEnd(text, i);
            if (end < 0)
                return -1;
            i = end - 1;
        } else if (c == u'{' || c == u'[') {
            ++depth;
        } else if ((c == u'}' || c == u']') && --depth == 0) {
            return i + 1;
        }
    }
    return -1;
}

// Reads a JSON text from its start, keeping the containers open where it has come to.
class JsonScanner
{
public:
    explicit JsonScanner(QStringView text) : m_text(text) {}

    // Reads on up to position, which must not be before the last one. False for text that is
    // not JSON.
    bool advanceTo(int position);
    // The start of the value that the position lies in or starts, or -1 when it lies between
    // the members of a container or in a member name.
    int innerValue() const { return m_inner; }
    const std::vector<OpenValue> &open() const { return m_open; }

private:
    QStringView m_text;
    std::vector<OpenValue> m_open;
    int m_position = 0;
    int m_inner = -1;
    bool m_expectValue = true;
};

bool JsonScanner::advanceTo(int position)
{
    const char16_t *s = m_text.utf16();
    m_inner = -1;
    int i = m_position;
    while (i < position) {
        const char16_t c = s[i];
        if (isSpace(c)) {
            // Indentation is most of an indented text.
            while (++i < position && isSpace(s[i])) {
            }
        } else if (c == u'"') {
            const int end = stringEnd(m_text, i);
            if (end < 0)
                return false;
            const bool key = !m_expectValue && !m_open.empty() && m_open.back().object;
            if (end > position) {
                m_position = i;
                m_inner = key ? -1 : i;
                return true;
            }
            if (key)
                m_open.back().key = m_text.mid(i + 1, end - i - 2);
            m_expectValue = false;
            i = end;
        } else if (c == u':') {
            m_expectValue = true;
            ++i;
        } else if (c == u',') {
            if (m_open.empty())
                return false;
            m_expectValue = !m_open.back().object;
            ++m_open.back().index;
            ++i;
        } else if (c == u'{' || c == u'[') {
            m_open.push_back({i, c == u'{', {}, 0});
            m_expectValue = c == u'[';
            ++i;
        } else if (c == u'}' || c == u']') {
            if (m_open.empty())
                return false;
            m_open.pop_back();
            m_expectValue = false;
            ++i;
        } else {
            const int end = scalarEnd(m_text, i);
            if (end > position) {
                m_position = i;
                m_inner = i;
                return true;
            }
            m_expectValue = false;
            i = end;
        }
    }
    m_position = i;
    if (m_expectValue && position < m_text.size() && startsValue(s[position]))
        m_inner = position;
    return true;
}

// How many characters a and b have in common from their starts, of at most size.
int commonLength(const char16_t *a, const char16_t *b, int size)
{
    // memcmp compares blocks several times faster than a loop over characters.
    const int block = 4096;
    int same = 0;
    while (size - same >= block && std::memcmp(a + same, b + same, block * sizeof(char16_t)) == 0)
        same += block;
    return int(std::mismatch(a + same, a + size, b + same).first - a);
}

// A value to replace, with its place in both texts.
struct Replacement
{
    int startAfter;
    int endAfter;
    int startBefore;
    int endBefore;
    QString path;
};

// The path to the value held by open[depth - 1]'s current member, as a JavaScript array
// literal; empty when a member name would need unescaping or could set a prototype.
QString pathLiteral(const std::vector<OpenValue> &open, int depth)
{
    QString path(QLatin1Char('['));
    for (int level = 0; level < depth; ++level) {
        if (level > 0)
            path += QLatin1Char(',');
        const OpenValue &value = open[size_t(level)];
        if (!value.object) {
            path += QString::number(value.index);
            continue;
        }
        if (value.key.contains(u'\\') || value.key == QLatin1String("__proto__"))
            return QString();
        path += QLatin1Char('"') + value.key.toString() + QLatin1Char('"');
    }
    return path + QLatin1Char(']');
}

} // namespace

QVector<DocumentChange> findDocumentChanges(QStringView before, QStringView after, int maxLength)
{
    const char16_t *a = after.utf16();
    const char16_t *b = before.utf16();
    const int sizeAfter = int(after.size());
    const int sizeBefore = int(before.size());
    if (sizeAfter == 0 || sizeBefore == 0)
        return {};
    JsonScanner scanner(after);
    std::vector<Replacement> found;
    // Outside the values found so far the texts are the same; reading goes on from their ends.
    int readAfter = 0;
    int readBefore = 0;
    for (;;) {
        const int common = std::min(sizeAfter - readAfter, sizeBefore - readBefore);
        const int same = commonLength(a + readAfter, b + readBefore, common);
        if (same == common && sizeAfter - readAfter == sizeBefore - readBefore)
            break;
        const int differsAfter = readAfter + same;
        const int differsBefore = readBefore + same;
        // Up to the difference both texts hold the same values at the same places, and so the
        // same containers are open there.
        if (!scanner.advanceTo(differsAfter))
            return {};
        const std::vector<OpenValue> &open = scanner.open();
        std::vector<std::pair<int, int>> candidates; // start in after, depth; the deepest first
        if (scanner.innerValue() >= 0)
            candidates.emplace_back(scanner.innerValue(), int(open.size()));
        for (int level = int(open.size()) - 1; level > 0; --level)
            candidates.emplace_back(open[size_t(level)].start, level);

        bool replaced = false;
        for (const auto &[start, depth] : candidates) {
            // A container that opened before earlier replacements holds them: it replaces them.
            size_t kept = found.size();
            while (kept > 0 && found[kept - 1].startAfter >= start)
                --kept;
            const int shift = kept > 0 ? found[kept - 1].endAfter - found[kept - 1].endBefore : 0;
            const int startBefore = start - shift;
            if (startBefore < 0 || startBefore >= sizeBefore || !startsValue(b[startBefore]))
                continue;
            int budget = maxLength;
            for (size_t i = 0; i < kept; ++i)
                budget -= found[i].endAfter - found[i].startAfter;
            const int endAfter = valueEnd(after, start, start + std::max(budget, 0));
            if (endAfter < 0)
                return {}; // every container further out is longer still
            const int endBefore = valueEnd(before, startBefore, sizeBefore);
            if (endBefore < 0 || (endAfter <= differsAfter && endBefore <= differsBefore))
                continue;
            QString path = pathLiteral(open, depth);
            if (path.isEmpty())
                continue;
            found.resize(kept);
            found.push_back({start, endAfter, startBefore, endBefore, std::move(path)});
            readAfter = endAfter;
            readBefore = endBefore;
            replaced = true;
            break;
        }
        if (!replaced)
            return {};
    }
    QVector<DocumentChange> changes;
    changes.reserve(int(found.size()));
    for (const Replacement &replacement : found)
        changes.append({replacement.path, replacement.startAfter,
                        replacement.endAfter - replacement.startAfter});
    return changes;
}
