#pragma once

#include "filelist/Collation.h"
#include "platform/FileSystem.h"

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace filelist {

// The rows and columns of the file list. A row keeps its name and the values its other texts
// are made from (type, byte count, times); the texts themselves are made when a view asks for
// them, so that a folder of a hundred thousand files costs little more than reading it. Rows are
// kept in the order of the sort column, by value for sizes and times and by the locale's
// collation for names and types. The list is rebuilt in one model reset per listing.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Which sub-items of a row have been filled, in the order a listing fills them.
    enum Filled : quint8 { NameOnly = 0, TypeFilled, SizeFilled, ModifiedFilled, CreatedFilled };

    explicit FileListModel(QObject *parent = nullptr);

    // Rebuilding; only between beginRebuild and endRebuild. endRebuild must run even when the
    // listing fails half-way (see Rebuild below), so that views show what was built.
    void beginRebuild(const QString &folderPath);
    void clearColumns();
    void clearItems();
    void addColumn(const QString &header, int widthTwips);
    int addItem(QByteArrayView nameBytes);
    void setType(int item, quint32 typeIndex);
    void setSize(int item, std::int64_t bytes);
    void setModified(int item, platform::Timestamp moment);
    void setCreated(int item, std::optional<platform::Timestamp> moment);
    void endRebuild();

    // Scoped rebuild: begins in the constructor and always ends in the destructor.
    class Rebuild
    {
    public:
        Rebuild(FileListModel &model, const QString &folderPath)
            : m_model(model)
        {
            m_model.beginRebuild(folderPath);
        }
        ~Rebuild() { m_model.endRebuild(); }
        Rebuild(const Rebuild &) = delete;
        Rebuild &operator=(const Rebuild &) = delete;

    private:
        FileListModel &m_model;
    };

    // Reading, by row as shown.
    QString itemText(int row) const;
    QString cellText(int row, int column) const;
    int rowOfName(QStringView name) const;
    int columnWidthTwips(int column) const;
    const QString &folderPath() const { return m_folderPath; }

    // Ordering.
    int sortKey() const { return m_sortKey; }
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

    // The exact name text of a row (UserRole gives the same through data()).
    static constexpr int NameRole = Qt::UserRole;

private:
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
    struct Column
    {
        QString header;
        int widthTwips;
    };
    static constexpr platform::Timestamp noCreated = std::numeric_limits<std::int64_t>::min();

    QStringView nameOf(const Row &row) const;
    QString textOf(const Row &row, int column) const;
    void sortRows();
    void rankNames();
    void rankTypes();
    int keyCompare(const Row &x, const Row &y) const;

    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
    std::vector<quint32> m_order; // shown row -> index into m_rows
    QString m_names; // every name, back to back
    QString m_folderPath;
    Collation m_collation;
    std::vector<int> m_typeRank; // type index -> position in collation order
    bool m_namesRanked = false;
    int m_sortKey = 0;
};

} // namespace filelist
