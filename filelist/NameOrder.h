#pragma once

#include "filelist/Collation.h"

#include <QByteArrayView>

#include <functional>
#include <memory>
#include <vector>

namespace filelist {

// The place of each name (given as its bytes) in the list's name order: the collation, with
// the exact text breaking ties, so that no two names share a place. Names of plain ASCII are
// compared by byte keys drawn from the collation (see Collation::appendFastKey); any other name
// goes to the collator, through collation keys when there are many such names.
std::vector<quint32> rankByName(
    const std::vector<QByteArrayView> &names, const Collation &collation);

// The same order in two steps, for a reader that wants the first names at once: first(n) picks
// the n names that come first, in order, in time linear in the number of names (with a group for
// each name, by group first and by name within one); ranks() places every name. Either may be asked
// at any time and as often as wanted: once the names are placed, first(n) is read from that order.
// The names must outlive the object. It takes about forty bytes per name.
class NameOrder
{
public:
    // The name at index k of count names.
    using NameAt = std::function<QByteArrayView(quint32 k)>;

    NameOrder(size_t count, NameAt nameAt, const Collation &collation);
    ~NameOrder();

    std::vector<quint32> first(size_t n, const std::vector<quint32> &group = {}) const;
    std::vector<quint32> ranks();

private:
    struct Data;
    std::unique_ptr<Data> d;
    bool m_ranked = false; // d's entries are in order, their sort keys spent
};

} // namespace filelist
