#include "filelist/ListView.h"

#include "filelist/NamesAccessible.h"
#include "filelist/ReportAccessible.h"
#include "filelist/ReportView.h"
#include "platform/Failure.h"
#include "widgets/Twips.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStackedLayout>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <limits>
#include <utility>

namespace filelist {

namespace {

void makeDragSource(QAbstractItemView *view)
{
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setDragEnabled(true);
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->setDefaultDropAction(Qt::CopyAction);
}

bool isPlainKey(const QEvent *event, std::initializer_list<int> keys)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<const QKeyEvent *>(event);
    return std::find(keys.begin(), keys.end(), key->key()) != keys.end()
        && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Cells show their whole text as a tooltip only when they are too narrow for it.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
        const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || isCut(view, option, index))
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QToolTip::hideText();
        return true;
    }

private:
    bool isCut(const QAbstractItemView *view, const QStyleOptionViewItem &option,
        const QModelIndex &index) const
    {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QStyle *style = view->style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, view);
        return cell.fontMetrics.horizontalAdvance(cell.text) > text.width() - 2 * margin;
    }
};

// A view in which the user selects a row but never deselects one: a click on empty space, or a
// Ctrl+click or Ctrl+Space on the selected row, leaves the row selected, so that a row shows as
// selected exactly while the file buttons are on.
template<class View> class KeepingView : public View
{
public:
    using View::View;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex &index, const QEvent *event) const override
    {
        if (!index.isValid())
            return QItemSelectionModel::NoUpdate;
        const QItemSelectionModel::SelectionFlags command = View::selectionCommand(index, event);
        return command.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate
                                                               : command;
    }
};

} // namespace

ListView::ListView(QWidget *parent)
    : QWidget(parent)
    , m_model(new FileListModel(this))
    , m_report(new KeepingView<ReportView>(this))
    , m_arranged(new KeepingView<GridView>(this))
{
    static const bool namesOnly = [] {
        QAccessible::installFactory(namesAccessibleFactory);
        QAccessible::installFactory(reportAccessibleFactory);
        return true;
    }();
    Q_UNUSED(namesOnly);
    m_report->setObjectName(QStringLiteral("report"));
    m_arranged->setObjectName(QStringLiteral("arranged"));
    for (QWidget *named : {static_cast<QWidget *>(this), static_cast<QWidget *>(m_report),
             static_cast<QWidget *>(m_arranged)})
        named->setAccessibleName(tr("Files"));
    QHeaderView *header = m_report->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(0, Qt::AscendingOrder);

    makeDragSource(m_report);
    makeDragSource(m_arranged);

    m_report->setModel(m_model);
    m_arranged->setModel(m_model);
    m_report->setItemDelegate(new CellDelegate(m_report));
    m_arranged->setItemDelegate(new CellDelegate(m_arranged));
    QItemSelectionModel *unused = m_arranged->selectionModel();
    m_selection = m_report->selectionModel();
    m_arranged->setSelectionModel(m_selection);
    delete unused;

    auto *stack = new QStackedLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(m_report);
    stack->addWidget(m_arranged);
    stack->setCurrentWidget(m_report);
    setFocusProxy(m_report);

    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_report),
             static_cast<QAbstractItemView *>(m_arranged)}) {
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
        // A press that selects another row (any button: a right click, the start of a drag) is
        // the click on it at once; a left click on the row already selected is one on release.
        connect(view, &QAbstractItemView::pressed, this, [this] {
            if (selectedRow() >= 0 && selectedRow() != m_rowBeforePress) {
                m_pressSelected = true;
                Q_EMIT ItemClick();
            }
        });
        connect(view, &QAbstractItemView::clicked, this, [this] {
            if (!std::exchange(m_pressSelected, false))
                Q_EMIT ItemClick();
        });
    }
    connect(header, &QHeaderView::sectionClicked, this,
        [this](int logicalIndex) { Q_EMIT ColumnClick(logicalIndex + 1); });
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, &ListView::rememberSelection);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        sizeColumns();
        m_report->header()->setSortIndicator(m_model->sortKey(), Qt::AscendingOrder);
        restoreSelection();
    });
}

void ListView::setView(int view)
{
    m_view = view;
    arrange();
}

// Large icons: a grid of cells with the name under where an icon would be; small icons: names
// in cells flowing left to right; list: names flowing down in columns; report: the table.
void ListView::arrange()
{
    auto *stack = static_cast<QStackedLayout *>(layout());
    if (m_view == Report) {
        stack->setCurrentWidget(m_report);
        setFocusProxy(m_report);
        return;
    }
    switch (m_view) {
    case LargeIcons:
        m_arranged->setArrangement({GridView::LeftToRight, QSize(96, 56), true});
        break;
    case SmallIcons:
        m_arranged->setArrangement({GridView::LeftToRight, QSize(160, 20), false});
        break;
    default:
        m_arranged->setArrangement({GridView::TopToBottom, QSize(200, 20), false});
        break;
    }
    stack->setCurrentWidget(m_arranged);
    setFocusProxy(m_arranged);
}

void ListView::setSortKey(qint16 key)
{
    m_model->setSortKey(key);
    if (key >= 0 && key < m_model->columnCount())
        m_report->header()->setSortIndicator(key, Qt::AscendingOrder);
}

void ListView::clickHeader(int section)
{
    Q_EMIT ColumnClick(section + 1);
}

QAbstractItemView *ListView::currentView() const
{
    if (m_view == Report)
        return m_report;
    return m_arranged;
}

bool ListView::hasSelectedItem() const
{
    return selectedRow() >= 0;
}

int ListView::selectedRow() const
{
    const QModelIndexList rows = m_selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString ListView::SelectedItemText() const
{
    const int row = selectedRow();
    if (row < 0)
        throw platform::Failure::refused(EINVAL, tr("No file is selected in the list"), {});
    return m_model->itemText(row);
}

void ListView::selectRow(int row)
{
    if (row < 0 || row >= m_model->rowCount()) {
        m_selection->clearSelection();
        m_selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    m_selection->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    currentView()->scrollTo(index);
}

// At the first listing each column gets its written width, widened where that cannot show the
// column's widest text in the font and locale; after that the widths are the user's.
void ListView::sizeColumns()
{
    QHeaderView *header = m_report->header();
    if (m_columnsSized || !m_model->headerData(0, Qt::Horizontal).isValid())
        return;
    m_columnsSized = true;
    const QFontMetrics metrics(m_report->font());
    // The room a cell's text needs beside it, and a pixel for rounding.
    const int margin
        = 2 * (m_report->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_report) + 1)
        + 1;
    const QLocale locale;
    for (int column = 0; column < std::min(header->count(), m_model->columnCount()); ++column) {
        int width = widgets::twipsToPixels(m_model->columnWidthTwips(column));
        for (const QString &text : m_model->widestTexts(column, locale))
            width = std::max(width, metrics.horizontalAdvance(text) + margin);
        header->resizeSection(column, width);
    }
}

// A reload keeps the row of the same name selected when the file is still there; when it is not,
// the owner hears of it, so that the commands for the selected file go off with the row.
void ListView::rememberSelection()
{
    // Rows shown while a listing runs are not the list's: what was selected before them stays
    // remembered for the finished list.
    if (m_model->isInterim())
        return;
    const int row = selectedRow();
    m_selectedName = row >= 0 ? std::optional<QString>(m_model->itemText(row)) : std::nullopt;
}

void ListView::restoreSelection()
{
    if (m_model->isInterim())
        return;
    if (!m_selectedName)
        return;
    const int row = m_model->rowOfName(*m_selectedName);
    m_selectedName.reset();
    if (row < 0) {
        Q_EMIT SelectionLost();
        return;
    }
    m_selection->setCurrentIndex(
        m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool ListView::eventFilter(QObject *watched, QEvent *event)
{
    const bool onViewport = watched == m_report->viewport() || watched == m_arranged->viewport();
    const bool onView = watched == m_report || watched == m_arranged;
    // A double click is the second press of its clicks.
    if (onViewport
        && (event->type() == QEvent::MouseButtonPress
            || event->type() == QEvent::MouseButtonDblClick)) {
        m_rowBeforePress = selectedRow();
        m_pressSelected = false;
        if (event->type() == QEvent::MouseButtonPress)
            return false;
    }
    // A press beside the rows that is dragged over them selects the last row it passes; the
    // release is the click on that row.
    if (onViewport && event->type() == QEvent::MouseButtonRelease && !m_pressSelected
        && selectedRow() >= 0 && selectedRow() != m_rowBeforePress) {
        Q_EMIT ItemClick();
        return false;
    }
    if (onViewport && event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Q_EMIT DblClick();
        return false;
    }
    // Enter on the selected file opens it, as a double click does.
    if (onView && isPlainKey(event, {Qt::Key_Return, Qt::Key_Enter})) {
        if (hasSelectedItem())
            Q_EMIT DblClick();
        return true;
    }
    if (onView && isPlainKey(event, {Qt::Key_Delete})) {
        Q_EMIT DeleteKey();
        return true;
    }
    // A key that selects another row (arrows, paging, typing a name's first letters) selects
    // that file just as a click on it does.
    if (onView && event->type() == QEvent::KeyPress && !m_forwardingKey) {
        const int before = selectedRow();
        m_forwardingKey = true;
        QCoreApplication::sendEvent(watched, event);
        m_forwardingKey = false;
        if (selectedRow() >= 0 && selectedRow() != before)
            Q_EMIT ItemClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

qint16 sortKeyForHeader(int position)
{
    long long key = 0;
    if (__builtin_sub_overflow(static_cast<long long>(position), 1LL, &key)
        || key < std::numeric_limits<qint16>::min() || key > std::numeric_limits<qint16>::max())
        throw platform::Failure::refused(
            EOVERFLOW, ListView::tr("Overflow: column %1 cannot be a sort key").arg(position), {});
    return qint16(key);
}

} // namespace filelist
