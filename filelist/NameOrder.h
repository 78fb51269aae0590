#pragma once

#include "filelist/Collation.h"

#include <QByteArrayView>

#include <vector>

namespace filelist {

// The place of each name (given as its bytes) in the list's name order: the collation, with
// the exact text breaking ties, so that no two names share a place. Names of plain ASCII are
// compared by byte keys drawn from the collation (see Collation::appendFastKey); any other name
// goes to the collator, through collation keys when there are many such names.
std::vector<quint32> rankByName(
    const std::vector<QByteArrayView> &names, const Collation &collation);

} // namespace filelist
