#include "platform/TypeCatalog.h"

#include "platform/NameCodec.h"

#include <QMimeDatabase>

namespace platform {

TypeCatalog &TypeCatalog::instance()
{
    static TypeCatalog catalog;
    return catalog;
}

TypeCatalog::TypeCatalog()
{
    m_texts.push_back(QStringLiteral("File")); // index 0: no suffix
}

QByteArrayView TypeCatalog::suffixOf(QByteArrayView nameBytes)
{
    const qsizetype dot = nameBytes.lastIndexOf('.');
    if (dot <= 0 || dot == nameBytes.size() - 1)
        return {};
    return nameBytes.sliced(dot + 1);
}

quint32 TypeCatalog::indexForName(QByteArrayView nameBytes)
{
    const QByteArrayView suffix = suffixOf(nameBytes);
    return suffix.isEmpty() ? 0 : indexForSuffix(suffix);
}

const QString &TypeCatalog::text(quint32 index) const
{
    const std::lock_guard lock(m_mutex);
    return m_texts[index];
}

int TypeCatalog::lookups() const
{
    const std::lock_guard lock(m_mutex);
    return m_lookups;
}

quint32 TypeCatalog::indexForSuffix(QByteArrayView suffix)
{
    const std::string key(suffix.data(), size_t(suffix.size()));
    const std::lock_guard lock(m_mutex);
    const auto found = m_indexBySuffix.find(key);
    if (found != m_indexBySuffix.end())
        return found->second;
    m_texts.push_back(describe(suffix));
    const auto index = quint32(m_texts.size() - 1);
    m_indexBySuffix.emplace(key, index);
    return index;
}

QString TypeCatalog::describe(QByteArrayView suffix)
{
    ++m_lookups;
    const QString suffixText = decodeName(suffix);
    static const QMimeDatabase database;
    const QList<QMimeType> types
        = database.mimeTypesForFileName(QStringLiteral("file.") + suffixText);
    if (!types.isEmpty() && !types.first().comment().isEmpty())
        return types.first().comment();
    return displayName(suffixText.toUpper()) + QStringLiteral(" File");
}

quint32 TypeCatalog::Lookup::indexForName(QByteArrayView nameBytes)
{
    const QByteArrayView suffix = suffixOf(nameBytes);
    if (suffix.isEmpty())
        return 0;
    const std::string_view key(suffix.data(), size_t(suffix.size()));
    // Folders tend to hold runs of one suffix; skip the hash for those.
    if (m_haveLast && key == m_lastSuffix)
        return m_lastIndex;
    quint32 index;
    if (const auto found = m_seen.find(key); found != m_seen.end()) {
        index = found->second;
    } else {
        index = instance().indexForSuffix(suffix);
        m_seen.emplace(std::string(key), index);
    }
    m_lastSuffix.assign(key);
    m_lastIndex = index;
    m_haveLast = true;
    return index;
}

} // namespace platform
