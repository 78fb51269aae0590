#pragma once

#include "filelist/Collation.h"
#include "filelist/NameStore.h"
#include "platform/FileSystem.h"

#include <QByteArrayView>
#include <QString>

#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace filelist {

// The rows of one listing: each file's name and the values its other texts are made from (type,
// byte count, times), and the order in which they are shown. It holds no texts: names are kept
// as their bytes in one arena and become text only when a view shows them, so a folder of a
// million files costs little more than reading it. A table is built away from the window, on
// the threads that read the folder, put in order there, and handed to the list's model whole.
class RowTable
{
public:
    // Which values of a row have been filled, in the order a listing fills them.
    enum Filled : quint8 { NameOnly = 0, TypeFilled, SizeFilled, ModifiedFilled, CreatedFilled };

    struct Row
    {
        quint32 nameOffset;
        quint16 nameLength; // a file name has at most 255 bytes
        Filled filled;
        quint32 type;
        quint32 nameRank; // the row's place in name order, once the names are ranked
        std::int64_t size;
        platform::Timestamp modified;
        platform::Timestamp created; // noCreated where the file system has no birth time
    };
    static constexpr platform::Timestamp noCreated = std::numeric_limits<std::int64_t>::min();

    RowTable() = default;
    explicit RowTable(QString folderPath);

    // Adding rows whose names are already in names, in name order already: rank is each row's
    // place among them. Replaces whatever the table held. This is how a listing fills a table.
    void adopt(NameStore names, std::vector<Row> rows);
    // Adding a row and then its values, in this order: one row at a time, as a walk over a
    // folder's files gives them. The tests and the benchmark build the tables they compare a
    // listing with this way.
    int add(QByteArrayView nameBytes);
    void setType(int item, quint32 typeIndex);
    void setSize(int item, std::int64_t bytes);
    void setModified(int item, platform::Timestamp moment);
    void setCreated(int item, std::optional<platform::Timestamp> moment);

    // Puts the rows in the order of column key: names and types in the collation, sizes and
    // times by value, ties broken by name. Names are ranked once per table.
    void sortBy(int key, const Collation &collation);

    // The same in steps, for sorting a large table away from the window: the rows' values for
    // column key (1 to 4) with their places in name order, made here; the order those give,
    // made on any thread; and the order put in place, here again.
    struct SortEntry
    {
        std::int64_t value;
        quint32 nameRank;
        quint32 row;
    };
    std::vector<SortEntry> sortEntries(int key, const Collation &collation);
    static std::vector<quint32> orderOf(std::vector<SortEntry> entries);
    std::vector<quint32> nameOrder(const Collation &collation);
    void setOrder(int key, std::vector<quint32> order);
    int sortKey() const { return m_sortKey; }
    // The place of each of the type indexes given (distinct) in the Type column's order, by
    // index: types described alike (two suffixes of one type) share a place, so that their rows
    // go by name.
    static std::vector<int> typePlaces(std::vector<quint32> types, const Collation &collation);

    size_t size() const { return m_order.size(); }
    // The row shown at position, and its place among the stored rows.
    const Row &shownRow(size_t position) const { return m_rows[m_order[position]]; }
    quint32 storageOf(size_t position) const { return m_order[position]; }
    // The shown position of every stored row.
    std::vector<int> shownPositions() const;
    QString nameOf(const Row &row) const;
    QByteArrayView nameBytesOf(const Row &row) const;
    // The shown position of the file named name, or -1. Outside name order this looks at every
    // row; lookUpAhead makes that look on the thread that builds the table, for the one name the
    // window will ask for, which is then answered at once until the order changes.
    int positionOfName(QStringView name, const Collation &collation) const;
    void lookUpAhead(const QString &name, const Collation &collation);
    const QString &folderPath() const { return m_folderPath; }

private:
    void rankNames(const Collation &collation);
    std::vector<int> rankTypes(const Collation &collation) const;

    std::vector<Row> m_rows;
    std::vector<quint32> m_order; // shown position -> index into m_rows
    NameStore m_names;
    QString m_folderPath;
    bool m_namesRanked = false;
    int m_sortKey = 0;
    std::optional<std::pair<QString, int>> m_lookedUp; // a name and its position, in this order
};

} // namespace filelist
