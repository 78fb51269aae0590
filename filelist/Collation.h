#pragma once

#include <QByteArrayView>
#include <QCollator>
#include <QString>
#include <QStringView>

#include <array>
#include <string>

namespace filelist {

// The order in which the list puts names and type texts: the locale's collation, case-
// insensitive and numeric-aware (file2 before file10), with exact text as the tie-break so that
// the order is total. QCollator is slow per comparison, so names made of printable ASCII are
// compared by a table drawn from the same collator, which gives the same answers at a fraction
// of the cost; any other text, and every text in a locale whose collation the table cannot
// follow, goes to the collator itself.
class Collation
{
public:
    Collation();

    // Three-way comparison: negative, zero (only for identical texts) or positive.
    int compare(QStringView a, QStringView b) const;
    // The collator's own verdict without the tie-break; for checking the fast path.
    int collatorCompare(QStringView a, QStringView b) const;
    // The fast path's verdict; defined only when usesFastPath() and isFastText holds for both.
    int fastCompare(QStringView a, QStringView b) const;
    static bool isFastText(QStringView text);
    // Appends to key a byte string whose plain byte order is fastCompare's order for a name
    // given as its bytes, so that a whole folder can be put in order by comparing bytes.
    // Returns false (and appends nothing useful) when the name is not plain printable ASCII, or
    // the locale's names must go to the collator instead.
    bool appendFastKey(QByteArrayView asciiOrNot, std::string &key) const;
    // Whether the table agrees with the collator in this locale. The tests ask, to know which
    // verdicts to compare; compare() and appendFastKey() decide by it themselves.
    bool usesFastPath() const { return m_fastPath; }

    const QCollator &collator() const { return m_collator; }

private:
    bool drawTable();

    QCollator m_collator;
    // Primary rank of each printable ASCII character; all digits share the rank of '0'.
    std::array<quint8, 128> m_rank {};
    bool m_fastPath = false;
};

} // namespace filelist
