#include "filelist/ReportAccessible.h"

#include "filelist/AccessibleParts.h"
#include "filelist/ReportView.h"

#include <QAccessibleWidget>
#include <QHeaderView>

namespace filelist {

namespace {

using Part = ViewPart<ReportView>;

// A column's header, the first row of the table.
class HeaderCell : public Part
{
public:
    HeaderCell(ReportView *view, int column)
        : Part(view)
        , m_column(column)
    { }

    int column() const { return m_column; }
    bool isValid() const override
    {
        return m_view && m_view->model() && m_column < m_view->model()->columnCount();
    }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name || !isValid())
            return {};
        return m_view->model()->headerData(m_column, Qt::Horizontal).toString();
    }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QHeaderView *header = m_view->header();
        const QPoint origin = header->mapToGlobal(QPoint(0, 0));
        return QRect(origin.x() + header->sectionViewportPosition(m_column), origin.y(),
            header->sectionSize(m_column), header->height());
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invalid = !isValid();
        state.invisible = !m_view || !m_view->header()->isVisible();
        state.disabled = m_view && !m_view->header()->isEnabled();
        return state;
    }

private:
    int m_column;
};

// One cell of a file's row.
class Cell : public Part, public QAccessibleTableCellInterface, public QAccessibleActionInterface
{
public:
    Cell(ReportView *view, int row, int column)
        : Part(view)
        , m_row(row)
        , m_column(column)
    { }

    bool isValid() const override
    {
        return m_view && m_view->model() && m_row < m_view->model()->rowCount()
            && m_column < m_view->model()->columnCount();
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface *>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }
    QAccessible::Role role() const override { return QAccessible::TreeItem; }

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid())
            return {};
        if (kind == QAccessible::Description)
            return index().data(Qt::AccessibleDescriptionRole).toString();
        if (kind != QAccessible::Name)
            return {};
        const QString name = index().data(Qt::AccessibleTextRole).toString();
        return name.isEmpty() ? index().data().toString() : name;
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect shown = m_view->visualRect(index());
        return shown.isNull()
            ? shown
            : QRect(m_view->viewport()->mapToGlobal(shown.topLeft()), shown.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const QRect area(m_view->mapToGlobal(QPoint(0, 0)), m_view->size());
        state.invisible = !area.intersects(rect());
        state.selected = isSelected();
        state.focused = m_view->selectionModel()->currentIndex() == index();
        if (index().flags() & Qt::ItemIsSelectable) {
            state.selectable = true;
            state.focusable = true;
        }
        return state;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override
    {
        return isValid() && m_view->selectionModel()->isSelected(index());
    }
    QList<QAccessibleInterface *> columnHeaderCells() const override
    {
        QAccessibleInterface *table = parent();
        QAccessibleInterface *header = table ? table->child(m_column) : nullptr;
        return header ? QList<QAccessibleInterface *> {header} : QList<QAccessibleInterface *> {};
    }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

    // QAccessibleActionInterface: toggling a cell selects its row; the list never deselects one.
    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString &name) override
    {
        QAccessibleInterface *table = parent();
        if (name == toggleAction() && table && table->tableInterface() && !isSelected())
            table->tableInterface()->selectRow(m_row);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QModelIndex index() const { return m_view->model()->index(m_row, m_column); }

    int m_row;
    int m_column;
};

class ReportAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit ReportAccessible(ReportView *view)
        : QAccessibleWidget(view, QAccessible::Tree)
    { }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    int childCount() const override { return (rowCount() + 1) * columnCount(); }

    QAccessibleInterface *child(int index) const override
    {
        const int columns = columnCount();
        if (index < 0 || index >= childCount())
            return nullptr;
        return index < columns ? part(-1, index) : part(index / columns - 1, index % columns);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (const auto *cell = dynamic_cast<const Cell *>(child); cell && cell->view() == view())
            return (cell->rowIndex() + 1) * columnCount() + cell->columnIndex();
        if (const auto *head = dynamic_cast<const HeaderCell *>(child);
            head && head->view() == view())
            return head->column();
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QHeaderView *header = view()->header();
        const QPoint inHeader = header->mapFromGlobal(QPoint(x, y));
        if (header->isVisible() && header->rect().contains(inHeader)) {
            const int column = header->logicalIndexAt(inHeader.x());
            return column >= 0 ? part(-1, column) : nullptr;
        }
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? part(index.row(), index.column()) : nullptr;
    }

    QAccessibleInterface *focusChild() const override
    {
        const QModelIndex current = view()->currentIndex();
        return current.isValid() ? part(current.row(), current.column()) : nullptr;
    }

    // QAccessibleTableInterface
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        return row >= 0 ? part(row, column) : nullptr;
    }
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QString columnDescription(int column) const override
    {
        return view()->model()->headerData(column, Qt::Horizontal).toString();
    }
    QString rowDescription(int) const override { return {}; }
    int columnCount() const override
    {
        return view()->model() ? view()->model()->columnCount() : 0;
    }
    int rowCount() const override { return view()->model() ? view()->model()->rowCount() : 0; }
    int selectedCellCount() const override { return int(selection()->selectedIndexes().size()); }
    int selectedColumnCount() const override { return int(selection()->selectedColumns().size()); }
    int selectedRowCount() const override { return int(selection()->selectedRows().size()); }
    QList<QAccessibleInterface *> selectedCells() const override
    {
        QList<QAccessibleInterface *> cells;
        for (const QModelIndex &index : selection()->selectedIndexes())
            cells.push_back(part(index.row(), index.column()));
        return cells;
    }
    QList<int> selectedColumns() const override
    {
        QList<int> columns;
        for (const QModelIndex &index : selection()->selectedColumns())
            columns.push_back(index.column());
        return columns;
    }
    QList<int> selectedRows() const override
    {
        QList<int> rows;
        for (const QModelIndex &index : selection()->selectedRows())
            rows.push_back(index.row());
        return rows;
    }
    bool isColumnSelected(int column) const override
    {
        return selection()->isColumnSelected(column, {});
    }
    bool isRowSelected(int row) const override { return selection()->isRowSelected(row, {}); }
    bool selectRow(int row) override
    {
        const QModelIndex index = view()->model()->index(row, 0);
        if (!index.isValid())
            return false;
        view()->clearSelection();
        selection()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *) override { m_parts.forget(); }

private:
    ReportView *view() const { return static_cast<ReportView *>(widget()); }
    QItemSelectionModel *selection() const { return view()->selectionModel(); }

    // The header cell of column (row -1) or a file's cell, made once and kept until the rows
    // change.
    QAccessibleInterface *part(int row, int column) const
    {
        if (column < 0 || column >= columnCount() || row >= rowCount())
            return nullptr;
        return m_parts.get(qint64(row) * 256 + column, [&]() -> QAccessibleInterface * {
            if (row < 0)
                return new HeaderCell(view(), column);
            return new Cell(view(), row, column);
        });
    }

    mutable PartCache<qint64> m_parts;
};

} // namespace

QAccessibleInterface *reportAccessibleFactory(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<ReportView *>(object))
        return new ReportAccessible(view);
    return nullptr;
}

} // namespace filelist
