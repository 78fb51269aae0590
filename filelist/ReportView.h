#pragma once

#include "filelist/UniformItemView.h"

class QHeaderView;

namespace filelist {

// The report arrangement of the file list: a row per file under the column headers, drawn and
// driven as a tree view without branches draws and drives its rows (whole rows selected, the
// focus frame around the whole current row, one row per scroll step). Every row is as high as
// the first, so the view lays out by arithmetic and keeps nothing per row: a new model of a
// million rows costs it no more than one of ten, and only the rows on screen are ever looked at.
class ReportView : public UniformItemView
{
    Q_OBJECT

public:
    explicit ReportView(QWidget *parent = nullptr);

    QHeaderView *header() const { return m_header; }
    bool isHeaderHidden() const;

    void setModel(QAbstractItemModel *model) override;
    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    int sizeHintForColumn(int column) const override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void initViewItemOption(QStyleOptionViewItem *option) const override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    bool isColumnShown(int column) const override;
    int accessibleChild(const QModelIndex &index) const override;

private:
    int rowHeight() const { return firstRowHeight(); }
    int firstRow() const;
    int rowsInViewport() const;
    int rowAt(int y) const;
    void drawRow(QPainter &painter, QStyleOptionViewItem option, int row) const;
    void resizeColumnToContents(int column);

    QHeaderView *m_header;
    bool m_inGeometries = false;
};

} // namespace filelist
