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
    if (suffix.isEmpty())
        return 0;
    const std::string_view key(suffix.data(), size_t(suffix.size()));
    // Folders tend to hold runs of one suffix; skip the hash for those.
    if (m_haveLast && key == m_lastSuffix)
        return m_lastIndex;
    auto found = m_indexBySuffix.find(key);
    quint32 index;
    if (found != m_indexBySuffix.end()) {
        index = found->second;
    } else {
        m_texts.push_back(describe(suffix));
        index = quint32(m_texts.size() - 1);
        m_indexBySuffix.emplace(std::string(key), index);
    }
    m_lastSuffix.assign(key);
    m_lastIndex = index;
    m_haveLast = true;
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

} // namespace platform
