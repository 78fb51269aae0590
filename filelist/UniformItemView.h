#pragma once

#include <QAbstractItemView>

namespace filelist {

// What the file list's views share: they lay their items out by arithmetic, every row as high as
// the first, which is measured once after each change of the rows, so that they keep nothing per
// row and look only at the rows on screen; and they tell assistive technology of the current and
// the selected item as the child their accessible interface makes of it.
class UniformItemView : public QAbstractItemView
{
    Q_OBJECT

public:
    using QAbstractItemView::QAbstractItemView;

    void setModel(QAbstractItemModel *model) override;
    void reset() override;
    void doItemsLayout() override;

protected:
    int rowCount() const;
    // The tallest shown cell of the first row, as the delegate sizes it with no width to keep to;
    // 0 without rows.
    int firstRowHeight() const;
    virtual bool isColumnShown(int column) const = 0;
    // The number of the child of the view's accessible interface that stands for the item.
    virtual int accessibleChild(const QModelIndex &index) const = 0;

    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void selectionChanged(
        const QItemSelection &selected, const QItemSelection &deselected) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
        const QList<int> &roles = QList<int>()) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;

private:
    void forgetRowHeight();

    mutable int m_rowHeight = -1;
};

} // namespace filelist
