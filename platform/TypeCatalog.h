#pragma once

#include <QByteArrayView>
#include <QString>

#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// Describes a file's type from its name alone, never from its content: the description of the
// MIME type that the name's suffix maps to, or "XYZ File" for an unknown suffix, or "File" for
// a name without one. Each distinct suffix is looked up in the MIME database once and then
// answered from a table; descriptions are handed out as small indexes into that table.
class TypeCatalog
{
public:
    static TypeCatalog &instance();

    quint32 indexForName(QByteArrayView nameBytes);
    const QString &text(quint32 index) const { return m_texts[index]; }
    // How many times the MIME database was asked (one per distinct suffix).
    int lookups() const { return m_lookups; }

    // The suffix the catalog keys on: the bytes after the last dot, unless that dot starts the
    // name (a dot-file such as ".profile" has no suffix) or ends it.
    static QByteArrayView suffixOf(QByteArrayView nameBytes);

private:
    TypeCatalog();
    QString describe(QByteArrayView suffix);

    struct Hash
    {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view> {}(s); }
    };
    std::unordered_map<std::string, quint32, Hash, std::equal_to<>> m_indexBySuffix;
    std::vector<QString> m_texts;
    std::string m_lastSuffix;
    quint32 m_lastIndex = 0;
    bool m_haveLast = false;
    int m_lookups = 0;
};

} // namespace platform
