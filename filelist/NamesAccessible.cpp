#include "filelist/NamesAccessible.h"

#include "filelist/GridView.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace filelist {

namespace {

// One file of an arranged view: its row, read afresh from the view on every question, so that a
// reload or a new order never leaves it describing a file that has gone.
class NameItem : public QAccessibleInterface
{
public:
    NameItem(GridView *view, int row)
        : m_view(view)
        , m_row(row)
    { }

    int row() const { return m_row; }

    bool isValid() const override { return m_view && m_row < m_view->model()->rowCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_view.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name && isValid() ? index().data().toString() : QString();
    }
    void setText(QAccessible::Text, const QString &) override { }

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

    QPointer<GridView> m_view;
    int m_row;
};

class NamesAccessible : public QAccessibleWidget
{
public:
    explicit NamesAccessible(GridView *view)
        : QAccessibleWidget(view, QAccessible::List)
    { }

    ~NamesAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(m_items))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return view()->model()->rowCount(); }

    QAccessibleInterface *child(int row) const override
    {
        if (row < 0 || row >= childCount())
            return nullptr;
        if (const auto found = m_items.constFind(row); found != m_items.cend())
            return QAccessible::accessibleInterface(*found);
        auto *item = new NameItem(view(), row);
        m_items.insert(row, QAccessible::registerAccessibleInterface(item));
        return item;
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

    mutable QHash<int, QAccessible::Id> m_items;
};

} // namespace

QAccessibleInterface *namesAccessibleFactory(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<GridView *>(object))
        return new NamesAccessible(view);
    return nullptr;
}

} // namespace filelist
