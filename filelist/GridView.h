#pragma once

#include "filelist/UniformItemView.h"

#include <vector>

namespace filelist {

// The large-icon, small-icon and list arrangements of the file list: the names in cells of one
// size laid out in lines, left to right and then down (icons), or top to bottom and then across
// (list), drawn and driven as a list view with uniform items on a grid draws and drives them.
// Only the lines scroll: along the flow they always fit the viewport. An item's place follows
// from its row by arithmetic, so the view keeps nothing per row and a new model of a million
// rows costs it no more than one of ten; only the items on screen are ever looked at.
class GridView : public UniformItemView
{
    Q_OBJECT

public:
    enum Flow { LeftToRight, TopToBottom };
    struct Arrangement
    {
        Flow flow = TopToBottom;
        QSize cell; // every item's cell
        // Large icons: the name centred and wrapped under the place of an icon, the item filling
        // its cell, the lines scrolled by pixels. Otherwise the name on one line at the left of
        // its cell, the lines scrolled whole.
        bool icons = false;
    };

    explicit GridView(QWidget *parent = nullptr);

    const Arrangement &arrangement() const { return m_arrangement; }
    void setArrangement(const Arrangement &arrangement);

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    QModelIndexList selectedIndexes() const override;
    void initViewItemOption(QStyleOptionViewItem *option) const override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    bool isColumnShown(int column) const override { return column == 0; }
    int accessibleChild(const QModelIndex &index) const override { return index.row(); }

private:
    bool flowsAcross() const { return m_arrangement.flow == LeftToRight; }
    QModelIndex item(int row) const;
    QSize itemSize() const;
    int flowStep() const;
    int lineStep() const;
    int layoutExtent() const;
    int perLine() const;
    int lineCount() const;
    QSize contentsSize() const;
    QRect itemRect(int row) const;
    QPoint offset() const;
    QScrollBar *lineBar() const;
    std::vector<int> rowsMeeting(const QRect &area) const;
    int closestRow(const QRect &target, const std::vector<int> &rows) const;
    QModelIndex moveAcross(CursorAction cursorAction, const QModelIndex &current);
    int lineScrollValue(int row, const QRect &rect, ScrollHint hint) const;

    Arrangement m_arrangement;
    QPoint m_pressedAt; // in contents coordinates, where a drag takes the item
};

} // namespace filelist
