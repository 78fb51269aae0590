#pragma once

#include <QByteArrayView>
#include <QString>

#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace platform {

// Describes a file's type from its name alone, never from its content: the description of the
// MIME type that the name's suffix maps to, or "XYZ File" for an unknown suffix, or "File" for
// a name without one. Each distinct suffix is looked up in the MIME database once and then
// answered from a table; descriptions are handed out as small indexes into that table.
//
// The catalog is shared by every listing, and listings run on worker threads, so it is guarded by
// a mutex. A listing asks it through a Lookup of its own, which answers repeated suffixes without
// taking the lock.
class TypeCatalog
{
public:
    static TypeCatalog &instance();

    quint32 indexForName(QByteArrayView nameBytes);
    // The description at index; the reference stays valid for the life of the program.
    const QString &text(quint32 index) const;
    // How many times the MIME database was asked (one per distinct suffix).
    int lookups() const;

    // The suffix the catalog keys on: the bytes after the last dot, unless that dot starts the
    // name (a dot-file such as ".profile" has no suffix) or ends it.
    static QByteArrayView suffixOf(QByteArrayView nameBytes);

    // One listing's view of the catalog: remembers the suffixes it has seen, so that only a
    // suffix new to this listing reaches the shared catalog. Not shared between threads.
    class Lookup
    {
    public:
        quint32 indexForName(QByteArrayView nameBytes);

    private:
        struct Hash
        {
            using is_transparent = void;
            size_t operator()(std::string_view s) const
            {
                return std::hash<std::string_view> {}(s);
            }
        };
        std::unordered_map<std::string, quint32, Hash, std::equal_to<>> m_seen;
        std::string m_lastSuffix;
        quint32 m_lastIndex = 0;
        bool m_haveLast = false;
    };

private:
    TypeCatalog();
    quint32 indexForSuffix(QByteArrayView suffix);
    QString describe(QByteArrayView suffix);

    mutable std::mutex m_mutex;
    std::unordered_map<std::string, quint32> m_indexBySuffix;
    std::deque<QString> m_texts; // a deque: a text never moves once added
    int m_lookups = 0;
};

} // namespace platform
