#pragma once

#include <QAccessible>
#include <QHash>
#include <QPointer>
#include <QWidget>

namespace filelist {

// What every accessible part of a file list view shares: the view it belongs to, read afresh on
// every question, so that a reload or a new order never leaves a part describing a file that has
// gone. A part has no children.
template<class View> class ViewPart : public QAccessibleInterface
{
public:
    explicit ViewPart(View *view)
        : m_view(view)
    { }

    const View *view() const { return m_view.data(); }
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
    void setText(QAccessible::Text, const QString &) override { }

protected:
    QPointer<View> m_view;
};

// The parts of a view made so far, each made when first asked for and kept, registered with
// Qt's accessibility, until they are forgotten: a million rows cost nothing until they are read.
template<class Key> class PartCache
{
public:
    PartCache() = default;
    PartCache(const PartCache &) = delete;
    PartCache &operator=(const PartCache &) = delete;
    ~PartCache() { forget(); }

    template<class Make> QAccessibleInterface *get(Key key, Make make)
    {
        if (const auto found = m_parts.constFind(key); found != m_parts.cend())
            return QAccessible::accessibleInterface(*found);
        QAccessibleInterface *made = make();
        m_parts.insert(key, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    void forget()
    {
        for (const QAccessible::Id id : std::as_const(m_parts))
            QAccessible::deleteAccessibleInterface(id);
        m_parts.clear();
    }

private:
    QHash<Key, QAccessible::Id> m_parts;
};

} // namespace filelist
