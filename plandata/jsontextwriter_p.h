#ifndef JSONTEXTWRITER_P_H
#define JSONTEXTWRITER_P_H

#include <QLatin1String>
#include <QString>
#include <QVarLengthArray>

// Writes JSON text in exactly the layout of QJsonDocument::toJson(QJsonDocument::Indented),
// decoded to a QString: four spaces per level, one member per line, strings escaped as the
// framework escapes them.
//
// Written by hand because building the QJsonObject tree of a large plan costs several times
// the framework's own writer; streaming the records straight to text keeps the regeneration
// after every edit close to the cost of toJson alone. Callers give the members of an object
// in ascending key order, as QJsonObject would hold them.
class JsonTextWriter
{
public:
    explicit JsonTextWriter(QString &out) : m_out(out) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // Starts the member key of the current object; the next value call gives its value.
    void key(QLatin1String name);
    void value(const QString &text);
    void value(qint64 number);
    void value(int number) { value(qint64(number)); }

    // key() and value() in one call.
    template <typename T>
    void member(const char *name, const T &memberValue)
    {
        key(QLatin1String(name));
        value(memberValue);
    }

private:
    struct Level
    {
        bool isArray;
        bool empty;
        QLatin1String lastKey;
    };

    void beginValue();
    void close(char bracket);
    void indent(int levels);
    void appendEscaped(const QString &text);

    QString &m_out;
    QVarLengthArray<Level, 8> m_levels;
};

#endif // JSONTEXTWRITER_P_H
