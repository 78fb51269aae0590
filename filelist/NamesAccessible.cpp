#include "filelist/NamesAccessible.h"

#include "filelist/AccessibleParts.h"
#include "filelist/GridView.h"

#include <QAccessibleWidget>

namespace filelist {

namespace {

// One file of an arranged view: its row, read afresh from the view on every question, so that a
// reload or a new order never leaves it describing a file that has gone.
class NameItem : public ViewPart<GridView>
{
public:
    NameItem(GridView *view, int row)
        : ViewPart(view)
        , m_row(row)
    { }

    int row() const { return m_row; }

    bool isValid() const override { return m_view && m_row < m_view->model()->rowCount(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name && isValid() ? index().data().toString() : QString();
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect shown = m_view->visualRect(index());
        return QRect(m_view->viewport()->mapToGlobal(shown.topLeft()), shown.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const QModelIndex item = index();
        state.selectable = true;
        state.focusable = true;
        state.selected = m_view->selectionModel()->isSelected(item);
        state.focused = m_view->hasFocus() && m_view->currentIndex() == item;
        state.offscreen = !m_view->viewport()->rect().intersects(m_view->visualRect(item));
        return state;
    }

private:
    QModelIndex index() const { return m_view->model()->index(m_row, 0); }

    int m_row;
};

class NamesAccessible : public QAccessibleWidget
{
public:
    explicit NamesAccessible(GridView *view)
        : QAccessibleWidget(view, QAccessible::List)
    { }

    int childCount() const override { return view()->model()->rowCount(); }

    QAccessibleInterface *child(int row) const override
    {
        if (row < 0 || row >= childCount())
            return nullptr;
        return m_items.get(row, [&] { return new NameItem(view(), row); });
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *item = dynamic_cast<const NameItem *>(child);
        return item && item->parent() == this ? item->row() : -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint at = view()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = view()->indexAt(at);
        return index.isValid() ? child(index.row()) : nullptr;
    }

    QAccessibleInterface *focusChild() const override
    {
        return view()->hasFocus() ? child(view()->currentIndex().row()) : nullptr;
    }

private:
    GridView *view() const { return static_cast<GridView *>(widget()); }

    mutable PartCache<int> m_items;
};

} // namespace

QAccessibleInterface *namesAccessibleFactory(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<GridView *>(object))
        return new NamesAccessible(view);
    return nullptr;
}

} // namespace filelist
