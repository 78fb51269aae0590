#include "filelist/Collation.h"

#include <QLocale>

#include <algorithm>
#include <vector>

namespace filelist {

namespace {

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

// Compares the digit runs starting at a[i] and b[j] by value (leading zeros do not count) and
// moves both indexes past their runs.
int compareNumbers(QStringView a, qsizetype &i, QStringView b, qsizetype &j)
{
    while (i < a.size() && a[i] == u'0' && i + 1 < a.size() && isDigit(a[i + 1].unicode()))
        ++i;
    while (j < b.size() && b[j] == u'0' && j + 1 < b.size() && isDigit(b[j + 1].unicode()))
        ++j;
    qsizetype endA = i, endB = j;
    while (endA < a.size() && isDigit(a[endA].unicode()))
        ++endA;
    while (endB < b.size() && isDigit(b[endB].unicode()))
        ++endB;
    const qsizetype lengthA = endA - i, lengthB = endB - j;
    int result = lengthA < lengthB ? -1 : (lengthA > lengthB ? 1 : 0);
    for (qsizetype k = 0; result == 0 && k < lengthA; ++k)
        result = sign(int(a[i + k].unicode()) - int(b[j + k].unicode()));
    i = endA;
    j = endB;
    return result;
}

// The C locale has no collation of its own, and QCollator then compares code points and ignores
// numeric mode; names are ordered there as the root collation orders them, which is English's.
QLocale collationLocale()
{
    const QLocale locale;
    if (locale.language() == QLocale::C)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

} // namespace

Collation::Collation()
    : m_collator(collationLocale())
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(true);

    m_fastPath = drawTable();
}

// Ranks the printable ASCII characters as the collator orders them one by one, then checks that
// the table holds for the locale. A table of single characters cannot follow a locale that sorts
// a pair of letters as one letter (Danish "aa", Czech "ch", Welsh "ll") or tells two letters
// apart only after the rest of the text (a secondary difference), so every two-character text is
// compared, as the table and as the collator see it, with the same first character followed by
// the lowest and by the highest character, and every character with its neighbour in the order.
// Returns whether all agree.
bool Collation::drawTable()
{
    std::vector<char16_t> characters;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        if (!isDigit(c) || c == u'0')
            characters.push_back(c);
    }
    auto textOf = [](char16_t c) { return QString(QChar(c)); };
    std::stable_sort(characters.begin(), characters.end(),
        [&](char16_t x, char16_t y) { return m_collator.compare(textOf(x), textOf(y)) < 0; });
    quint8 rank = 1;
    for (size_t k = 0; k < characters.size(); ++k) {
        if (k > 0 && m_collator.compare(textOf(characters[k - 1]), textOf(characters[k])) != 0)
            ++rank;
        m_rank[characters[k]] = rank;
    }
    for (char16_t c = u'1'; c <= u'9'; ++c)
        m_rank[c] = m_rank[u'0'];

    // Numbers are compared by value, so digits take no part in the pairs.
    std::erase(characters, u'0');
    const char16_t lowest = characters.front(), highest = characters.back();
    auto agrees = [this](const char16_t(&a)[2], const char16_t(&b)[2]) {
        const QStringView x(a, 2), y(b, 2);
        return sign(fastCompare(x, y)) == collatorCompare(x, y);
    };
    for (char16_t first : characters) {
        for (char16_t second : characters) {
            const char16_t pair[2] = {first, second};
            if (!agrees(pair, {first, lowest}) || !agrees(pair, {first, highest}))
                return false;
        }
    }
    for (size_t k = 1; k < characters.size(); ++k) {
        if (!agrees({characters[k], lowest}, {characters[k - 1], highest}))
            return false;
    }
    return true;
}

bool Collation::isFastText(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
            return false;
    }
    return true;
}

int Collation::fastCompare(QStringView a, QStringView b) const
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char16_t x = a[i].unicode(), y = b[j].unicode();
        if (isDigit(x) && isDigit(y)) {
            if (const int result = compareNumbers(a, i, b, j))
                return result;
            continue;
        }
        if (m_rank[x] != m_rank[y])
            return m_rank[x] < m_rank[y] ? -1 : 1;
        ++i;
        ++j;
    }
    return (i < a.size()) - (j < b.size());
}

// Each character becomes its rank. A run of digits becomes the rank of '0', the count of its
// digits without leading zeros (one zero is kept for a run of zeros) and those digits, so that
// shorter numbers sort first and equal lengths compare digit by digit, as fastCompare does.
bool Collation::appendFastKey(QByteArrayView asciiOrNot, std::string &key) const
{
    using Unit = unsigned char;
    const auto *c = reinterpret_cast<const Unit *>(asciiOrNot.data());
    const Unit *const end = c + asciiOrNot.size();
    if (!m_fastPath)
        return false;
    // A key is never longer than two bytes per character plus a rank byte per digit run.
    const size_t start = key.size();
    key.resize(start + size_t(end - c) * 2 + 1);
    char *out = key.data() + start;
    while (c < end) {
        if (*c < 0x20 || *c >= 0x7F) {
            key.resize(start);
            return false;
        }
        if (!isDigit(*c)) {
            *out++ = char(m_rank[*c++]);
            continue;
        }
        const Unit *runEnd = c;
        while (runEnd < end && isDigit(*runEnd))
            ++runEnd;
        while (c + 1 < runEnd && *c == u'0')
            ++c;
        if (runEnd - c > 255) {
            key.resize(start);
            return false;
        }
        *out++ = char(m_rank[u'0']);
        *out++ = char(quint8(runEnd - c));
        while (c < runEnd)
            *out++ = char(*c++);
    }
    key.resize(size_t(out - key.data()));
    return true;
}

int Collation::collatorCompare(QStringView a, QStringView b) const
{
    return sign(m_collator.compare(a, b));
}

int Collation::compare(QStringView a, QStringView b) const
{
    const int result = (m_fastPath && isFastText(a) && isFastText(b)) ? fastCompare(a, b)
                                                                      : collatorCompare(a, b);
    if (result != 0)
        return result;
    return sign(a.compare(b));
}

} // namespace filelist
