#pragma once

#include <QByteArrayView>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

namespace filelist {

// The names of one listing as their bytes, back to back in blocks of a mebibyte: an arena that
// takes one allocation per block instead of one per name, and in which a name never moves once
// stored: other threads may read a name (through at()) while more names are added, since the
// list of blocks is made large enough at once never to move. A name is addressed by a 32-bit
// offset and its length; it is stored with a zero byte after it, so that it can be handed to the
// system as it is.
class NameStore
{
public:
    quint32 add(const char *bytes, size_t length)
    {
        if (m_blocks.empty() || m_used + length + 1 > blockBytes) {
            if (m_blocks.empty())
                m_blocks.reserve(maxBlocks);
            if (m_blocks.size() == maxBlocks)
                throw std::length_error("more names than a listing can hold");
            m_blocks.push_back(std::make_unique_for_overwrite<char[]>(blockBytes));
            m_used = 0;
        }
        const auto offset = quint32((m_blocks.size() - 1) * blockBytes + m_used);
        char *place = m_blocks.back().get() + m_used;
        std::copy(bytes, bytes + length, place);
        place[length] = '\0';
        m_used += length + 1;
        return offset;
    }

    const char *at(quint32 offset) const
    {
        return m_blocks[offset / blockBytes].get() + offset % blockBytes;
    }
    QByteArrayView view(quint32 offset, size_t length) const
    {
        return QByteArrayView(at(offset), qsizetype(length));
    }

private:
    // A name has at most a few hundred bytes, so a block always holds many.
    static constexpr size_t blockBytes = size_t(1) << 20;
    // As many blocks as a 32-bit offset reaches.
    static constexpr size_t maxBlocks = size_t(1) << 12;

    std::vector<std::unique_ptr<char[]>> m_blocks;
    size_t m_used = 0;
};

} // namespace filelist
