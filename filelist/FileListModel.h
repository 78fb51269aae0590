#pragma once

#include "filelist/Collation.h"
#include "filelist/RowTable.h"

#include <QAbstractTableModel>
#include <QString>

#include <vector>

namespace filelist {

// The rows and columns of the file list, as the views show them. The rows are a RowTable built
// and put in order away from the window; the model takes a finished table in one reset. Cell
// texts are made when a view asks for them.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    struct Column
    {
        QString header;
        int widthTwips;
    };

    explicit FileListModel(QObject *parent = nullptr);

    // What a table shown is: a listing's finished rows, or the rows that will come first while
    // the listing is still running (its finished table follows).
    enum class Rows { Finished, FirstOnly };

    // Shows columns and table in place of what was shown, in one reset.
    void show(std::vector<Column> columns, RowTable table, Rows rows = Rows::Finished);
    bool isInterim() const { return m_interim; }

    // Reading, by row as shown.
    QString itemText(int row) const;
    QString cellText(int row, int column) const;
    int rowOfName(QStringView name) const;
    int columnWidthTwips(int column) const;
    // Texts at least as wide as any the column shows in the locale; none for the name and type.
    QStringList widestTexts(int column, const QLocale &locale) const;
    const QString &folderPath() const { return m_table.folderPath(); }

    // Ordering: the table keeps its sort column, so a new table must be sorted by sortKey().
    int sortKey() const { return m_table.sortKey(); }
    void setSortKey(int column);

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    // Typing a name's first letters looks at every row; for the names this looks at their bytes
    // rather than at a text made for each row, and is many times faster on a large list.
    QModelIndexList match(const QModelIndex &start, int role, const QVariant &value, int hits = 1,
        Qt::MatchFlags flags = Qt::MatchStartsWith | Qt::MatchWrap) const override;

    // The exact name text of a row (UserRole gives the same through data()).
    static constexpr int NameRole = Qt::UserRole;

private:
    QString textOf(const RowTable::Row &row, int column) const;
    bool nameStartsWith(const RowTable::Row &row, QStringView typed) const;

    std::vector<Column> m_columns;
    RowTable m_table;
    Collation m_collation;
    bool m_interim = false;
};

} // namespace filelist
