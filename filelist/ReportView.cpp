#include "filelist/ReportView.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace filelist {

ReportView::ReportView(QWidget *parent)
    : UniformItemView(parent)
    , m_header(new QHeaderView(Qt::Horizontal, this))
{
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setHorizontalScrollMode(ScrollPerPixel);
    m_header->setSectionsMovable(true);
    m_header->setFirstSectionMovable(false);
    m_header->setStretchLastSection(true);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });
    connect(m_header, &QHeaderView::sectionMoved, viewport(), qOverload<>(&QWidget::update));
    connect(m_header, &QHeaderView::sectionCountChanged, this, &ReportView::updateGeometries);
    connect(m_header, &QHeaderView::geometriesChanged, this, &ReportView::updateGeometries);
    connect(m_header, &QHeaderView::sectionHandleDoubleClicked, this,
        &ReportView::resizeColumnToContents);
}

bool ReportView::isHeaderHidden() const
{
    return m_header->isHidden();
}

void ReportView::setModel(QAbstractItemModel *model)
{
    m_header->setModel(model);
    UniformItemView::setModel(model);
}

bool ReportView::isColumnShown(int column) const
{
    return !m_header->isSectionHidden(column);
}

int ReportView::firstRow() const
{
    return verticalScrollBar()->value();
}

// The rows wholly inside the viewport.
int ReportView::rowsInViewport() const
{
    const int height = rowHeight();
    return height > 0 ? viewport()->height() / height : 0;
}

int ReportView::rowAt(int y) const
{
    const int height = rowHeight();
    if (height <= 0 || y < 0)
        return -1;
    const int row = firstRow() + y / height;
    return row < rowCount() ? row : -1;
}

QRect ReportView::visualRect(const QModelIndex &index) const
{
    const int height = rowHeight();
    if (!index.isValid() || height <= 0 || m_header->isSectionHidden(index.column()))
        return {};
    return QRect(m_header->sectionViewportPosition(index.column()),
        (index.row() - firstRow()) * height, m_header->sectionSize(index.column()), height);
}

QModelIndex ReportView::indexAt(const QPoint &point) const
{
    const int row = rowAt(point.y());
    const int column = m_header->logicalIndexAt(point.x());
    if (row < 0 || column < 0)
        return {};
    return model()->index(row, column, rootIndex());
}

void ReportView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || rowHeight() <= 0)
        return;
    updateGeometries(); // the scroll range may not know the model's rows yet
    QScrollBar *rows = verticalScrollBar();
    const int shown = std::max(1, rowsInViewport());
    const int row = index.row();
    if (hint == PositionAtTop || (hint == EnsureVisible && row < rows->value()))
        rows->setValue(row);
    else if (hint == PositionAtBottom || (hint == EnsureVisible && row >= rows->value() + shown))
        rows->setValue(row - shown + 1);
    else if (hint == PositionAtCenter)
        rows->setValue(row - shown / 2);

    const int width = viewport()->width();
    const int position = m_header->sectionPosition(index.column());
    const int cell = m_header->sectionSize(index.column());
    if (hint == PositionAtCenter)
        horizontalScrollBar()->setValue(position - (width - cell) / 2);
    else if (position < m_header->offset() || cell > width)
        horizontalScrollBar()->setValue(position);
    else if (position - m_header->offset() + cell > width)
        horizontalScrollBar()->setValue(position - width + cell);
}

// Up and down by a row, a page or to either end, keeping the column; left and right scroll.
QModelIndex ReportView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = rowCount();
    const QModelIndex current = currentIndex();
    if (rows == 0)
        return {};
    if (!current.isValid())
        return model()->index(0, m_header->logicalIndex(0), rootIndex());
    int row = current.row();
    // The row a viewport's height above or below, as a tree view pages.
    const int height = rowHeight();
    auto rowAtDistance = [&](int distance) {
        int y = (row - firstRow()) * height + distance;
        if (y < 0)
            y -= height - 1;
        return firstRow() + y / height;
    };
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row = rowAtDistance(-viewport()->height());
        break;
    case MovePageDown:
        row = rowAtDistance(viewport()->height());
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
    case MoveRight: {
        QScrollBar *bar = horizontalScrollBar();
        bar->setValue(bar->value() + (cursorAction == MoveLeft ? -1 : 1) * bar->singleStep());
        return current;
    }
    }
    return model()->index(std::clamp(row, 0, rows - 1), current.column(), rootIndex());
}

int ReportView::horizontalOffset() const
{
    return m_header->offset();
}

int ReportView::verticalOffset() const
{
    return firstRow() * rowHeight();
}

// Whole rows, from the row at the rectangle's top to the one at its bottom.
void ReportView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!selectionModel() || rect.isNull())
        return;
    const QRect area = rect.normalized();
    const int top = rowAt(area.top());
    if (top < 0 || m_header->logicalIndexAt(area.left()) < 0)
        return;
    const int bottom = rowAt(area.bottom()) < 0 ? rowCount() - 1 : rowAt(area.bottom());
    const int last = model()->columnCount(rootIndex()) - 1;
    selectionModel()->select(QItemSelection(model()->index(top, 0, rootIndex()),
                                 model()->index(bottom, last, rootIndex())),
        command);
}

QRegion ReportView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    const int height = rowHeight();
    if (height <= 0)
        return region;
    const int first = firstRow();
    const int last = first + viewport()->height() / height;
    for (const QItemSelectionRange &range : selection) {
        const int top = std::max(range.top(), first);
        const int bottom = std::min(range.bottom(), last);
        if (top <= bottom)
            region += QRect(
                0, (top - first) * height, viewport()->width(), (bottom - top + 1) * height);
    }
    return region;
}

void ReportView::initViewItemOption(QStyleOptionViewItem *option) const
{
    UniformItemView::initViewItemOption(option);
    option->showDecorationSelected = true; // a selected row is highlighted whole
}

void ReportView::paintEvent(QPaintEvent *event)
{
    const int height = rowHeight();
    if (height <= 0)
        return;
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect area = event->rect();
    const int rows = rowCount();
    for (int row = firstRow() + std::max(0, area.top()) / height;
         row < rows && (row - firstRow()) * height <= area.bottom(); ++row)
        drawRow(painter, option, row);
}

// A row as a tree view draws it: each shown cell over the row's own background, the cells told
// where in the row they stand so that the selection spans the row, and the focus frame around
// the whole row.
void ReportView::drawRow(QPainter &painter, QStyleOptionViewItem option, int row) const
{
    const int y = (row - firstRow()) * rowHeight();
    const QModelIndex current = currentIndex();
    const QStyle::State state = option.state;
    std::vector<int> shown;
    for (int visual = 0; visual < m_header->count(); ++visual) {
        if (!m_header->isSectionHidden(m_header->logicalIndex(visual)))
            shown.push_back(m_header->logicalIndex(visual));
    }
    for (size_t k = 0; k < shown.size(); ++k) {
        const int column = shown[k];
        const int x = m_header->sectionViewportPosition(column);
        const int width = m_header->sectionSize(column);
        if (x + width < 0 || x > viewport()->width())
            continue;
        const QModelIndex index = model()->index(row, column, rootIndex());
        option.state = state;
        option.viewItemPosition = shown.size() == 1 ? QStyleOptionViewItem::OnlyOne
            : k == 0                                ? QStyleOptionViewItem::Beginning
            : k + 1 == shown.size()                 ? QStyleOptionViewItem::End
                                                    : QStyleOptionViewItem::Middle;
        if (selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (state & QStyle::State_Enabled) {
            option.palette.setCurrentColorGroup(
                (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive);
        }
        option.rect = QRect(x, y, width, rowHeight());
        QStyleOptionViewItem background = option;
        background.state &= ~QStyle::State_Selected;
        style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &background, &painter, this);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
    if (hasFocus() && current.isValid() && current.row() == row) {
        QStyleOptionFocusRect frame;
        frame.QStyleOption::operator=(option);
        frame.state = state | QStyle::State_KeyboardFocusChange;
        const QPalette::ColorGroup group
            = (state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        frame.backgroundColor = option.palette.color(
            group, selectionModel()->isSelected(current) ? QPalette::Highlight : QPalette::Window);
        frame.rect = QRect(-m_header->offset(), y, m_header->length(), rowHeight());
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter);
    }
}

void ReportView::scrollContentsBy(int dx, int)
{
    if (dx)
        m_header->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

// The header above the viewport; the vertical scroll bar counts rows, the horizontal one pixels.
void ReportView::updateGeometries()
{
    if (m_inGeometries)
        return;
    m_inGeometries = true;
    const int headerHeight = m_header->isHidden()
        ? 0
        : std::min(std::max(m_header->minimumHeight(), m_header->sizeHint().height()),
            m_header->maximumHeight());
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
    QMetaObject::invokeMethod(m_header, "updateGeometries");

    const int rows = rowCount();
    const int shown = rows > 0 ? std::max(1, rowsInViewport()) : 0;
    verticalScrollBar()->setRange(0, rows - shown);
    verticalScrollBar()->setPageStep(shown);
    verticalScrollBar()->setSingleStep(1);

    int width = viewport()->width();
    int columnsShown = 0;
    for (int visual = m_header->count() - 1, sum = 0; visual >= 0; --visual) {
        sum += m_header->sectionSize(m_header->logicalIndex(visual));
        if (sum > width)
            break;
        ++columnsShown;
    }
    if (maximumViewportSize().width() >= m_header->length() && verticalScrollBar()->maximum() <= 0)
        width = maximumViewportSize().width();
    horizontalScrollBar()->setPageStep(width);
    horizontalScrollBar()->setRange(0, std::max(m_header->length() - width, 0));
    horizontalScrollBar()->setSingleStep(std::max(width / (std::max(1, columnsShown) + 1), 2));
    m_inGeometries = false;
    UniformItemView::updateGeometries();
}

// The cells of the rows on screen.
int ReportView::sizeHintForColumn(int column) const
{
    const int height = rowHeight();
    if (height <= 0)
        return -1;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    int width = -1;
    const int last = std::min(rowCount() - 1, firstRow() + viewport()->height() / height);
    for (int row = firstRow(); row <= last; ++row) {
        const QModelIndex index = model()->index(row, column, rootIndex());
        width = std::max(width, itemDelegateForIndex(index)->sizeHint(option, index).width());
    }
    return width;
}

void ReportView::resizeColumnToContents(int column)
{
    const int header = m_header->isHidden() ? 0 : m_header->sectionSizeHint(column);
    m_header->resizeSection(column, std::max(sizeHintForColumn(column), header));
}

// The child of the view's accessible table that stands for a cell: the header row comes first.
int ReportView::accessibleChild(const QModelIndex &index) const
{
    return (index.row() + 1) * model()->columnCount(rootIndex()) + index.column();
}

void ReportView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    for (const QModelIndex &index : {previous, current}) {
        if (index.isValid())
            viewport()->update(0, visualRect(index).y(), viewport()->width(), rowHeight());
    }
    UniformItemView::currentChanged(current, previous);
}

} // namespace filelist
