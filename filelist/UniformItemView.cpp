#include "filelist/UniformItemView.h"

#include <QAccessible>

#include <algorithm>

namespace filelist {

// A new order or rows removed may bring another first row.
void UniformItemView::setModel(QAbstractItemModel *model)
{
    QAbstractItemModel *old = this->model();
    if (model == old)
        return;
    if (old) {
        disconnect(
            old, &QAbstractItemModel::layoutChanged, this, &UniformItemView::forgetRowHeight);
        disconnect(old, &QAbstractItemModel::rowsRemoved, this, &UniformItemView::doItemsLayout);
    }
    QAbstractItemView::setModel(model);
    forgetRowHeight();
    if (model) {
        connect(model, &QAbstractItemModel::layoutChanged, this, &UniformItemView::forgetRowHeight);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &UniformItemView::doItemsLayout);
    }
}

void UniformItemView::reset()
{
    forgetRowHeight();
    QAbstractItemView::reset();
}

void UniformItemView::doItemsLayout()
{
    forgetRowHeight();
    QAbstractItemView::doItemsLayout();
}

void UniformItemView::dataChanged(
    const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    forgetRowHeight();
    scheduleDelayedItemsLayout();
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void UniformItemView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    forgetRowHeight();
    scheduleDelayedItemsLayout();
    QAbstractItemView::rowsInserted(parent, start, end);
}

void UniformItemView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    scheduleDelayedItemsLayout();
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
}

void UniformItemView::forgetRowHeight()
{
    m_rowHeight = -1;
}

int UniformItemView::rowCount() const
{
    return model() && model()->columnCount(rootIndex()) > 0 ? model()->rowCount(rootIndex()) : 0;
}

int UniformItemView::firstRowHeight() const
{
    if (m_rowHeight >= 0)
        return m_rowHeight;
    int height = 0;
    if (rowCount() > 0) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect.setWidth(-1);
        for (int column = 0; column < model()->columnCount(rootIndex()); ++column) {
            if (!isColumnShown(column))
                continue;
            const QModelIndex index = model()->index(0, column, rootIndex());
            height
                = std::max(height, itemDelegateForIndex(index)->sizeHint(option, index).height());
        }
    }
    m_rowHeight = height;
    return height;
}

// Assistive technology hears of the current item while the view has the focus, and of the first
// item selected and deselected.
void UniformItemView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (QAccessible::isActive() && current.isValid() && hasFocus()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(accessibleChild(current));
        QAccessible::updateAccessibility(&event);
    }
    QAbstractItemView::currentChanged(current, previous);
}

void UniformItemView::selectionChanged(
    const QItemSelection &selected, const QItemSelection &deselected)
{
    if (QAccessible::isActive()) {
        const QModelIndex added = selected.indexes().value(0);
        const QModelIndex removed = deselected.indexes().value(0);
        for (const auto &[index, change] : {std::pair {added, QAccessible::SelectionAdd},
                 std::pair {removed, QAccessible::SelectionRemove}}) {
            if (!index.isValid())
                continue;
            QAccessibleEvent event(this, change);
            event.setChild(accessibleChild(index));
            QAccessible::updateAccessibility(&event);
        }
    }
    QAbstractItemView::selectionChanged(selected, deselected);
}

} // namespace filelist
