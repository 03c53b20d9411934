#include "plandata/jsontextwriter_p.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

bool needsEscaping(QChar c)
{
    const ushort u = c.unicode();
    return u < 0x20 || u == '"' || u == '\\' || QChar::isSurrogate(u);
}

QChar hexDigit(uint value)
{
    return QLatin1Char(value < 10 ? char('0' + value) : char('a' + value - 10));
}

} // namespace

void JsonTextWriter::beginObject()
{
    beginValue();
    m_out += QLatin1String("{\n");
    m_levels.append({false, true, QLatin1String()});
}

void JsonTextWriter::endObject()
{
    close('}');
}

void JsonTextWriter::beginArray()
{
    beginValue();
    m_out += QLatin1String("[\n");
    m_levels.append({true, true, QLatin1String()});
}

void JsonTextWriter::endArray()
{
    close(']');
}

void JsonTextWriter::key(QLatin1String name)
{
    Level &level = m_levels.last();
    Q_ASSERT(!level.isArray);
    Q_ASSERT_X(level.empty || level.lastKey < name, "JsonTextWriter::key", "keys out of order");
    if (!level.empty)
        m_out += QLatin1String(",\n");
    level.empty = false;
    level.lastKey = name;
    indent(m_levels.size());
    m_out += QLatin1Char('"');
    m_out += name;
    m_out += QLatin1String("\": ");
}

void JsonTextWriter::value(const QString &text)
{
    beginValue();
    m_out += QLatin1Char('"');
    appendEscaped(text);
    m_out += QLatin1Char('"');
}

void JsonTextWriter::value(qint64 number)
{
    beginValue();
    // JSON numbers are doubles to the framework: beyond 2^53 it writes the nearest double in its
    // own notation, so such numbers are left to it.
    const qint64 exactLimit = Q_INT64_C(1) << 53;
    if (number <= exactLimit && number >= -exactLimit) {
        m_out += QString::number(number);
        return;
    }
    const QByteArray text =
        QJsonDocument(QJsonArray{QJsonValue(double(number))}).toJson(QJsonDocument::Compact);
    m_out += QString::fromLatin1(text.mid(1, text.size() - 2)); // inside "[" and "]"
}

void JsonTextWriter::beginValue()
{
    if (m_levels.isEmpty() || !m_levels.last().isArray)
        return; // the root, or a member value after its key
    Level &level = m_levels.last();
    if (!level.empty)
        m_out += QLatin1String(",\n");
    level.empty = false;
    indent(m_levels.size());
}

void JsonTextWriter::close(char bracket)
{
    const Level level = m_levels.last();
    m_levels.removeLast();
    if (!level.empty)
        m_out += QLatin1Char('\n');
    indent(m_levels.size());
    m_out += QLatin1Char(bracket);
    if (m_levels.isEmpty())
        m_out += QLatin1Char('\n');
}

void JsonTextWriter::indent(int levels)
{
    static const QString spaces(64, QLatin1Char(' '));
    for (int count = 4 * levels; count > 0; count -= spaces.size())
        m_out.append(spaces.constData(), qMin(count, spaces.size()));
}

void JsonTextWriter::appendEscaped(const QString &text)
{
    const QChar *begin = text.constData();
    const QChar *end = begin + text.size();
    const QChar *plain = begin;
    for (const QChar *c = begin; c != end; ++c) {
        if (!needsEscaping(*c))
            continue;
        // A valid surrogate pair is written as it stands.
        if (c->isHighSurrogate() && c + 1 != end && (c + 1)->isLowSurrogate()) {
            ++c;
            continue;
        }
        m_out.append(plain, int(c - plain));
        plain = c + 1;
        const ushort u = c->unicode();
        m_out += QLatin1Char('\\');
        switch (u) {
        case '"':
            m_out += QLatin1Char('"');
            break;
        case '\\':
            m_out += QLatin1Char('\\');
            break;
        case '\b':
            m_out += QLatin1Char('b');
            break;
        case '\f':
            m_out += QLatin1Char('f');
            break;
        case '\n':
            m_out += QLatin1Char('n');
            break;
        case '\r':
            m_out += QLatin1Char('r');
            break;
        case '\t':
            m_out += QLatin1Char('t');
            break;
        default: // other control characters and lone surrogates
            m_out += QLatin1Char('u');
            m_out += hexDigit((u >> 12) & 0xf);
            m_out += hexDigit((u >> 8) & 0xf);
            m_out += hexDigit((u >> 4) & 0xf);
            m_out += hexDigit(u & 0xf);
            break;
        }
    }
    m_out.append(plain, int(end - plain));
}
