#include "filelist/GridView.h"

#include <QCoreApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <climits>

namespace filelist {

namespace {

// value / step rounded down, also below zero.
int floorDiv(int value, int step)
{
    return value >= 0 ? value / step : -((step - 1 - value) / step);
}

} // namespace

GridView::GridView(QWidget *parent)
    : UniformItemView(parent)
{
    setSelectionMode(SingleSelection);
}

void GridView::setArrangement(const Arrangement &arrangement)
{
    m_arrangement = arrangement;
    doItemsLayout();
}

QModelIndex GridView::item(int row) const
{
    return model()->index(row, 0, rootIndex());
}

// Every item is as wide as its cell; an icon fills its cell, and other items are as high as the
// first row. No item's size hangs on another's name, so no name is cut to the width of another
// or drawn over its neighbours.
QSize GridView::itemSize() const
{
    if (m_arrangement.icons)
        return m_arrangement.cell;
    return QSize(m_arrangement.cell.width(), firstRowHeight());
}

// From one item to the next in a line, and from one line to the next.
int GridView::flowStep() const
{
    return flowsAcross() ? m_arrangement.cell.width() : m_arrangement.cell.height();
}

int GridView::lineStep() const
{
    return flowsAcross() ? m_arrangement.cell.height() : m_arrangement.cell.width();
}

// The room along the flow that the lines are laid out in: the viewport as large as it can be,
// less the scroll bar across the flow as if it were shown, so that showing it moves no item.
int GridView::layoutExtent() const
{
    const QSize most = maximumViewportSize();
    int frame = 0;
    if (style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents)) {
        QStyleOption option;
        option.initFrom(this);
        frame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option);
    }
    QScrollBar *bar = flowsAcross() ? verticalScrollBar() : horizontalScrollBar();
    const Qt::ScrollBarPolicy policy
        = flowsAcross() ? verticalScrollBarPolicy() : horizontalScrollBarPolicy();
    const bool overlaps = flowsAcross()
        && style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarOverlap, nullptr, bar) != 0;
    const int room = flowsAcross() ? most.width() : most.height();
    if (policy != Qt::ScrollBarAsNeeded || overlaps)
        return room;
    return room - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar) - frame;
}

// A line holds the cells that end before the last pixel of the room, and at least one.
int GridView::perLine() const
{
    const int step = flowStep();
    return step > 0 ? std::max(1, (layoutExtent() - 1) / step) : 1;
}

int GridView::lineCount() const
{
    const int per = perLine();
    return (rowCount() + per - 1) / per;
}

// Along the flow one line is as long as its items, lines of icons as their cells, and other lines
// reach the end of the room they are laid out in; across it, the lines' cells.
QSize GridView::contentsSize() const
{
    const int rows = rowCount();
    if (rows == 0)
        return {};
    const int lines = lineCount();
    const int along = lines == 1 ? rows * flowStep()
        : m_arrangement.icons    ? perLine() * flowStep()
                                 : layoutExtent() - 1;
    const int across = lines * lineStep();
    return flowsAcross() ? QSize(along, across) : QSize(across, along);
}

// Where the item of a row stands in the contents: at the start of its cell.
QRect GridView::itemRect(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const int per = perLine();
    const int along = (row % per) * flowStep();
    const int across = (row / per) * lineStep();
    return QRect(flowsAcross() ? QPoint(along, across) : QPoint(across, along), itemSize());
}

// The scroll bar across the lines counts whole lines, or pixels for icons; along the flow
// nothing scrolls.
int GridView::horizontalOffset() const
{
    const int value = horizontalScrollBar()->value();
    return !m_arrangement.icons && !flowsAcross() ? value * lineStep() : value;
}

int GridView::verticalOffset() const
{
    const int value = verticalScrollBar()->value();
    return !m_arrangement.icons && flowsAcross() ? value * lineStep() : value;
}

QPoint GridView::offset() const
{
    return QPoint(horizontalOffset(), verticalOffset());
}

QScrollBar *GridView::lineBar() const
{
    return flowsAcross() ? verticalScrollBar() : horizontalScrollBar();
}

// The rows whose cells meet an area of the contents, in the order a list view finds them; as a
// list view has it, outside the icons the last item of a line also meets an area that starts
// just where the line ends.
std::vector<int> GridView::rowsMeeting(const QRect &area) const
{
    std::vector<int> rows;
    const int count = rowCount();
    const int step = flowStep();
    const int lines = lineStep();
    if (count == 0 || step <= 0 || lines <= 0)
        return rows;
    const QRect box = area.normalized();
    const int flowStart = flowsAcross() ? box.left() : box.top();
    const int flowEnd = flowsAcross() ? box.right() : box.bottom();
    const int lineStart = flowsAcross() ? box.top() : box.left();
    const int lineEnd = flowsAcross() ? box.bottom() : box.right();
    const int per = perLine();
    const int lastLine = lineCount() - 1;
    if (m_arrangement.icons) {
        const int lastCell = std::min(per - 1, floorDiv(flowEnd, step));
        for (int line = std::max(0, floorDiv(lineStart, lines));
             line <= std::min(lastLine, floorDiv(lineEnd, lines)); ++line) {
            for (int cell = std::max(0, floorDiv(flowStart, step)); cell <= lastCell; ++cell) {
                const int row = line * per + cell;
                if (row < count && itemRect(row).intersects(box))
                    rows.push_back(row);
            }
        }
        return rows;
    }
    for (int line = std::clamp(floorDiv(lineStart, lines), 0, lastLine + 1);
         line <= lastLine && line * lines <= lineEnd; ++line) {
        const int first = line * per;
        const int last = std::min(count, first + per) - 1;
        if ((last - first + 1) * step < flowStart)
            continue;
        for (int row = first + std::clamp(floorDiv(flowStart, step), 0, last - first);
             row <= last && (row - first) * step <= flowEnd; ++row)
            rows.push_back(row);
    }
    return rows;
}

QRect GridView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.parent() != rootIndex() || index.column() != 0)
        return {};
    const QRect rect = itemRect(index.row());
    return rect.isValid() ? rect.translated(-offset()) : rect;
}

QModelIndex GridView::indexAt(const QPoint &point) const
{
    const std::vector<int> rows = rowsMeeting(QRect(point + offset(), QSize(1, 1)));
    if (rows.empty())
        return {};
    const QModelIndex index = item(rows.back());
    return visualRect(index).contains(point) ? index : QModelIndex();
}

void GridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (index.parent() != rootIndex() || index.column() != 0)
        return;
    const QRect rect = visualRect(index);
    if (!rect.isValid())
        return;
    if (hint == EnsureVisible && viewport()->rect().contains(rect)) {
        viewport()->update(rect);
        return;
    }
    lineBar()->setValue(lineScrollValue(index.row(), rect, hint));
}

// The value of the scroll bar across the lines that shows the item at rect as the hint asks.
// Lines of icons go by pixels; other lines by whole lines, as many before the item's as fit.
int GridView::lineScrollValue(int row, const QRect &rect, ScrollHint hint) const
{
    const int value = lineBar()->value();
    const int start = flowsAcross() ? rect.top() : rect.left();
    const int end = flowsAcross() ? rect.bottom() : rect.right();
    const int extent = end - start + 1;
    const int room = flowsAcross() ? viewport()->height() : viewport()->width();
    // Rows are moved into view only to make an item visible; columns whenever they are out of it.
    const bool ensure = hint == EnsureVisible || !flowsAcross();
    const bool before = ensure && start < 0;
    const bool after = ensure && end >= room && (flowsAcross() || start > 0);
    if (m_arrangement.icons) {
        if (hint == PositionAtTop || before)
            return value + start;
        if (hint == PositionAtBottom || after)
            return value + std::min(start, end - room + 1);
        if (hint == PositionAtCenter)
            return value + start - (room - extent) / 2;
        return value;
    }
    if (before)
        hint = PositionAtTop;
    else if (after)
        hint = PositionAtBottom;
    const int line = row / perLine();
    int first = line;
    while (first > value && (line - first + 1) * lineStep() + extent <= room)
        --first;
    switch (hint) {
    case PositionAtTop:
        return line;
    case PositionAtBottom:
        return first;
    case PositionAtCenter:
        return line - (line - first + 1) / 2;
    default:
        return value;
    }
}

// Along the flow, the next or the previous row; Home and End, the first and the last.
QModelIndex GridView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = rowCount();
    const QModelIndex current = currentIndex();
    if (rows == 0)
        return {};
    if (!current.isValid())
        return item(0);
    const int row = current.row();
    const bool back = flowsAcross() ? cursorAction == MoveLeft
                                    : cursorAction == MoveUp || cursorAction == MovePrevious;
    const bool forth = flowsAcross() ? cursorAction == MoveRight
                                     : cursorAction == MoveDown || cursorAction == MoveNext;
    if (back)
        return row > 0 ? item(row - 1) : current;
    if (forth)
        return row + 1 < rows ? item(row + 1) : current;
    if (cursorAction == MoveHome)
        return item(0);
    if (cursorAction == MoveEnd)
        return item(rows - 1);
    return moveAcross(cursorAction, current);
}

// Across the flow and by pages: a cell moves from the current item that way, and the cursor goes
// to the nearest of the first items it meets; a page goes as far as keeps the current item's top
// within a viewport's height, as a list view pages.
QModelIndex GridView::moveAcross(CursorAction cursorAction, const QModelIndex &current)
{
    const QRect initial = itemRect(current.row());
    if (initial.isEmpty())
        return item(0);
    QRect rect(initial.topLeft(), m_arrangement.cell);
    const QSize contents = contentsSize();
    const int height = viewport()->height();
    std::vector<int> found;
    const auto meetOthers = [&] {
        found = rowsMeeting(rect);
        std::erase(found, current.row());
    };
    const auto nearest = [&] { return item(closestRow(initial, found)); };
    switch (cursorAction) {
    case MoveLeft:
        while (found.empty()) {
            rect.translate(-rect.width(), 0);
            if (rect.right() <= 0)
                return current;
            rect.setLeft(std::max(rect.left(), 0));
            meetOthers();
        }
        return nearest();
    case MoveRight:
        while (found.empty()) {
            rect.translate(rect.width(), 0);
            if (rect.left() >= contents.width())
                return current;
            rect.setRight(std::min(rect.right(), contents.width()));
            meetOthers();
        }
        return nearest();
    case MoveUp:
    case MovePrevious:
        while (found.empty()) {
            rect.translate(0, -rect.height());
            if (rect.bottom() <= 0)
                return current;
            rect.setTop(std::max(rect.top(), 0));
            meetOthers();
        }
        return nearest();
    case MoveDown:
    case MoveNext:
        while (found.empty()) {
            rect.translate(0, rect.height());
            if (rect.top() >= contents.height())
                return current;
            rect.setBottom(std::min(rect.bottom(), contents.height()));
            meetOthers();
        }
        return nearest();
    case MovePageUp: {
        if (rect.height() >= height)
            return moveCursor(MoveUp, {});
        rect.moveTop(rect.top() - height + 1);
        if (rect.top() < rect.height()) {
            rect.setTop(0);
            rect.setBottom(1);
        }
        int target = -1;
        while (found.empty() || itemRect(target).top() <= initial.bottom() - height
            || rect.top() <= 0) {
            rect.translate(0, 1);
            if (rect.bottom() <= 0)
                return current;
            found = rowsMeeting(rect);
            target = closestRow(initial, found);
        }
        return item(target);
    }
    case MovePageDown: {
        if (rect.height() >= height)
            return moveCursor(MoveDown, {});
        rect.moveTop(rect.top() + height - 1);
        if (rect.bottom() > contents.height() - rect.height()) {
            rect.setTop(contents.height() - 1);
            rect.setBottom(contents.height());
        }
        int target = -1;
        while (found.empty() || itemRect(target).bottom() >= height + initial.top()
            || rect.bottom() > contents.height()) {
            rect.translate(0, -1);
            if (rect.top() >= contents.height())
                return current;
            found = rowsMeeting(rect);
            target = closestRow(initial, found);
        }
        return item(target);
    }
    default:
        return current;
    }
}

// Of the rows, the one whose item is nearest the target: by the distance across when either's
// centre lies within the other's span, else by the distance along, else both.
int GridView::closestRow(const QRect &target, const std::vector<int> &rows) const
{
    int shortest = INT_MAX;
    int closest = -1;
    const QPoint centre = target.center();
    for (const int row : rows) {
        const QRect rect = itemRect(row);
        const QPoint middle = rect.center();
        int distance = 0;
        if ((centre.x() >= rect.x() && centre.x() < rect.right())
            || (middle.x() >= target.x() && middle.x() < target.right()))
            distance = std::abs(middle.y() - centre.y());
        else if ((centre.y() >= rect.y() && centre.y() < rect.bottom())
            || (middle.y() >= target.y() && middle.y() < target.bottom()))
            distance = std::abs(middle.x() - centre.x());
        else
            distance = (middle - centre).manhattanLength();
        if (distance < shortest) {
            shortest = distance;
            closest = row;
        }
    }
    return closest;
}

// A press selects the item under it; a larger rectangle every item it meets.
void GridView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!selectionModel())
        return;
    const QSize contents = contentsSize();
    if (!QRect(0, 0, std::max(contents.width(), viewport()->width()),
            std::max(contents.height(), viewport()->height()))
             .intersects(rect))
        return;
    std::vector<int> rows = rowsMeeting(rect.translated(offset()));
    if (rect.width() == 1 && rect.height() == 1 && !rows.empty())
        rows.erase(rows.begin(), rows.end() - 1);
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    for (size_t first = 0, last = 0; first < rows.size(); first = ++last) {
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1)
            ++last;
        selection.select(item(rows[first]), item(rows[last]));
    }
    selectionModel()->select(selection, command);
}

// The selected items on screen: those of the lines shown and of the line on either side, whose
// items may reach into the viewport.
QRegion GridView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    const int step = lineStep();
    if (step <= 0 || rowCount() == 0)
        return region;
    const QRect area = viewport()->rect();
    const int start = flowsAcross() ? verticalOffset() : horizontalOffset();
    const int room = flowsAcross() ? area.height() : area.width();
    const int per = perLine();
    const int first = std::max(0, (floorDiv(start, step) - 1) * per);
    const int last = std::min(rowCount() - 1, (floorDiv(start + room - 1, step) + 2) * per - 1);
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.parent() != rootIndex())
            continue;
        for (int row = std::max(range.top(), first); row <= std::min(range.bottom(), last); ++row) {
            const QRect rect = visualRect(item(row));
            if (area.intersects(rect))
                region += rect;
        }
    }
    return region;
}

// The names' cells only: the other columns are not shown.
QModelIndexList GridView::selectedIndexes() const
{
    QModelIndexList indexes
        = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    indexes.removeIf([this](const QModelIndex &index) {
        return index.column() != 0 || index.parent() != rootIndex();
    });
    return indexes;
}

void GridView::initViewItemOption(QStyleOptionViewItem *option) const
{
    UniformItemView::initViewItemOption(option);
    if (!iconSize().isValid()) {
        const int size = style()->pixelMetric(
            m_arrangement.icons ? QStyle::PM_IconViewIconSize : QStyle::PM_ListViewIconSize,
            nullptr, this);
        option->decorationSize = QSize(size, size);
    }
    if (m_arrangement.icons) {
        option->showDecorationSelected = false;
        option->decorationPosition = QStyleOptionViewItem::Top;
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
        option->features |= QStyleOptionViewItem::WrapText;
    } else {
        option->decorationPosition = QStyleOptionViewItem::Left;
    }
    if (m_arrangement.cell.isValid())
        option->rect.setSize(m_arrangement.cell);
}

// The items that meet the area to paint, each no longer across the lines than the viewport or
// the contents.
void GridView::paintEvent(QPaintEvent *event)
{
    if (!selectionModel())
        return;
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QSize contents = contentsSize();
    const int most = flowsAcross() ? std::max(viewport()->height(), contents.height())
                                   : std::max(viewport()->width(), contents.width());
    for (const int row : rowsMeeting(event->rect().translated(offset()))) {
        const QModelIndex index = item(row);
        option.rect = visualRect(index);
        if (flowsAcross())
            option.rect.setHeight(std::min(most, option.rect.height()));
        else
            option.rect.setWidth(std::min(most, option.rect.width()));
        option.state = state;
        if (selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (state & QStyle::State_Enabled) {
            const bool enabled = index.flags() & Qt::ItemIsEnabled;
            option.state.setFlag(QStyle::State_Enabled, enabled);
            option.palette.setCurrentColorGroup(enabled ? QPalette::Normal : QPalette::Disabled);
        }
        if (focus && index == current)
            option.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void GridView::scrollContentsBy(int, int)
{
    viewport()->update();
}

// Along the flow the lines always fit; across it the bar counts whole lines, a page being the
// lines the viewport shows whole, or pixels for icons, a step being an item's height.
void GridView::updateGeometries()
{
    QScrollBar *lines = lineBar();
    (flowsAcross() ? horizontalScrollBar() : verticalScrollBar())->setRange(0, 0);
    const int count = lineCount();
    const int step = lineStep();
    const int room = flowsAcross() ? viewport()->height() : viewport()->width();
    if (geometry().isEmpty() || count == 0 || step <= 0) {
        lines->setRange(0, 0);
    } else if (m_arrangement.icons) {
        lines->setSingleStep(flowsAcross() ? itemSize().height() : itemSize().width());
        lines->setPageStep(room);
        lines->setRange(0, std::max(0, count * step - room));
    } else {
        const int page = count * step <= room ? count + 1 : room / step;
        lines->setSingleStep(1);
        lines->setPageStep(page);
        lines->setRange(0, count - page);
    }
    UniformItemView::updateGeometries();
}

// A list of columns takes the wheel's turn for a horizontal one when it cannot scroll vertically.
void GridView::wheelEvent(QWheelEvent *event)
{
    const QPoint angle = event->angleDelta();
    if (std::abs(angle.y()) <= std::abs(angle.x())) {
        QCoreApplication::sendEvent(horizontalScrollBar(), event);
        return;
    }
    const QScrollBar *vertical = verticalScrollBar();
    if (angle.x() != 0 || flowsAcross() || vertical->minimum() != 0 || vertical->maximum() != 0) {
        QCoreApplication::sendEvent(verticalScrollBar(), event);
        return;
    }
    const QPoint pixels = event->pixelDelta();
    QWheelEvent turned(event->position(), event->globalPosition(), QPoint(pixels.y(), pixels.x()),
        QPoint(angle.y(), angle.x()), event->buttons(), event->modifiers(), event->phase(),
        event->inverted(), event->source());
    QCoreApplication::sendEvent(horizontalScrollBar(), &turned);
    event->setAccepted(turned.isAccepted());
}

void GridView::mousePressEvent(QMouseEvent *event)
{
    m_pressedAt = event->position().toPoint() + offset();
    UniformItemView::mousePressEvent(event);
}

// The selected name is dragged with its picture as the item shows it selected; an icon's name is
// held where it was pressed. The model offers only a copy, so nothing is ever removed after a
// drop.
void GridView::startDrag(Qt::DropActions supportedActions)
{
    QModelIndexList indexes = selectedIndexes();
    indexes.removeIf(
        [](const QModelIndex &index) { return !(index.flags() & Qt::ItemIsDragEnabled); });
    QMimeData *data = indexes.isEmpty() ? nullptr : model()->mimeData(indexes);
    if (!data)
        return;
    const QRect area = viewport()->rect();
    QRect shown;
    for (const QModelIndex &index : std::as_const(indexes)) {
        if (visualRect(index).intersects(area))
            shown |= visualRect(index);
    }
    const QRect clipped = shown & area;
    shown.setLeft(clipped.left());
    shown.setRight(clipped.right());
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    if (!shown.isEmpty()) {
        QPixmap picture(shown.size() * devicePixelRatio());
        picture.setDevicePixelRatio(devicePixelRatio());
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.state |= QStyle::State_Selected;
        for (const QModelIndex &index : std::as_const(indexes)) {
            option.rect = visualRect(index).translated(-shown.topLeft());
            if (visualRect(index).intersects(area))
                itemDelegateForIndex(index)->paint(&painter, option, index);
        }
        painter.end();
        drag->setPixmap(picture);
        if (m_arrangement.icons)
            drag->setHotSpot(m_pressedAt - offset() - shown.topLeft());
    }
    const Qt::DropAction preferred
        = supportedActions & defaultDropAction() ? defaultDropAction() : Qt::CopyAction;
    drag->exec(supportedActions, preferred);
}

} // namespace filelist
