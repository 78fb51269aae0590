#include "widgets/FolderTree.h"

#include "filelist/Collation.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/LongCall.h"
#include "platform/NameCodec.h"

#include <QApplication>
#include <QHeaderView>
#include <QLayout>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace widgets {

namespace {

constexpr int PathRole = Qt::UserRole;

// The names of the subfolders of path, in the list's collation. Throws when the folder cannot
// be opened or read.
QStringList subfoldersInOrder(const QString &path)
{
    QStringList names = platform::FileSystemObject().GetFolder(path).SubfolderNames();
    const filelist::Collation collation;
    std::sort(names.begin(), names.end(),
        [&](const QString &a, const QString &b) { return collation.compare(a, b) < 0; });
    return names;
}

// The same, read away from the window; throws also when the reading is cancelled.
QStringList readSubfolders(const QString &path)
{
    const QString shown = platform::displayName(path);
    const platform::Activity reading {FolderTree::tr("Reading %1").arg(shown),
        platform::Activity::Unit::None, FolderTree::tr("reading %1 was cancelled").arg(shown)};
    return platform::runLong(reading, [path] { return subfoldersInOrder(path); });
}

// The start folder's subfolders, read on a thread of their own. A tree waits a moment for them,
// which is all a local folder takes; a folder on a volume that does not answer in that time
// does not hold up the window that the tree is part of: its subfolders are shown when they come.
struct InitialRead
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool shown = false; // on the window's thread only
    QStringList names;
};

constexpr auto initialReadWait = std::chrono::milliseconds(50);

QString childPath(const QString &folder, const QString &name)
{
    return folder == QLatin1String("/") ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

FolderTree::FolderTree(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setHeaderLabel(tr("Folders"));
    setAccessibleName(tr("Folders"));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(12);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    connect(
        this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) { openRow(item); });
    m_path = platform::currentFolder();
    if (m_path.isEmpty())
        m_path = QStringLiteral("/");
    rebuild({});
    readStartFolder();
}

// A start folder that cannot be listed shows no subfolders; the file list reports it.
void FolderTree::readStartFolder()
{
    auto read = std::make_shared<InitialRead>();
    const QPointer<FolderTree> tree(this);
    platform::runDetached("tolvan-tree", [read, tree, path = m_path] {
        QStringList names;
        try {
            names = subfoldersInOrder(path);
        } catch (const platform::Failure &) { }
        {
            const std::lock_guard lock(read->mutex);
            read->names = std::move(names);
            read->finished = true;
        }
        read->done.notify_all();
        QMetaObject::invokeMethod(
            qApp,
            [read, tree, path] {
                if (tree && !read->shown && tree->m_path == path)
                    tree->rebuild(read->names);
            },
            Qt::QueuedConnection);
    });
    std::unique_lock lock(read->mutex);
    if (read->done.wait_for(lock, initialReadWait, [&read] { return read->finished; })) {
        read->shown = true;
        rebuild(read->names);
    }
}

void FolderTree::openRow(QTreeWidgetItem *item)
{
    if (!item)
        return;
    Q_EMIT RowOpened(rowPath(item));
}

void FolderTree::setPath(const QString &path)
{
    const QString target = normalized(path);
    const QStringList subfolders = readSubfolders(target);
    const bool changed = target != m_path;
    m_path = target;
    rebuild(subfolders);
    if (changed && Change)
        Change();
}

QString FolderTree::rowPath(const QTreeWidgetItem *item)
{
    return item ? item->data(0, PathRole).toString() : QString();
}

QTreeWidgetItem *FolderTree::rowForPath(const QString &path) const
{
    for (QTreeWidgetItemIterator it(const_cast<FolderTree *>(this)); *it; ++it) {
        if (rowPath(*it) == path)
            return *it;
    }
    return nullptr;
}

void FolderTree::rebuild(const QStringList &subfolders)
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto makeItem = [](const QString &text, const QString &path, const QIcon &icon) {
        auto *item = new QTreeWidgetItem(QStringList {platform::displayName(text)});
        item->setData(0, PathRole, path);
        item->setIcon(0, icon);
        return item;
    };

    QTreeWidgetItem *current = makeItem(QStringLiteral("/"), QStringLiteral("/"), openIcon);
    addTopLevelItem(current);
    QString walked = QStringLiteral("/");
    const QStringList parts = m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        walked = childPath(walked, part);
        auto *item = makeItem(part, walked, openIcon);
        current->addChild(item);
        current->setExpanded(true);
        current = item;
    }
    QList<QTreeWidgetItem *> children;
    children.reserve(subfolders.size());
    for (const QString &name : subfolders)
        children.push_back(makeItem(name, childPath(m_path, name), closedIcon));
    current->addChildren(children);
    current->setExpanded(true);
    setCurrentItem(current);
    revealPath();
}

// The path from the top and the current folder in sight: the top first, then as far down as the
// current folder needs.
void FolderTree::revealPath()
{
    scrollToTop();
    if (QTreeWidgetItem *current = currentItem())
        scrollToItem(current);
}

// The tree is filled before it gets its size; it shows the path from the top once it has it.
void FolderTree::resizeEvent(QResizeEvent *event)
{
    QTreeWidget::resizeEvent(event);
    keepAboveParentEdge();
    revealPath();
}

void FolderTree::moveEvent(QMoveEvent *event)
{
    QTreeWidget::moveEvent(event);
    keepAboveParentEdge();
}

// The part below the parent's bottom edge cannot be seen: the rows end above it, and so does the
// scroll bar (inside its container, which the scroll area lays out over the full height).
void FolderTree::keepAboveParentEdge()
{
    const QWidget *parent = parentWidget();
    const int hidden = parent ? std::max(0, geometry().bottom() - parent->rect().bottom()) : 0;
    setViewportMargins(0, 0, 0, hidden);
    if (QLayout *bar = verticalScrollBar()->parentWidget()->layout())
        bar->setContentsMargins(0, 0, 0, hidden);
}

// Every row is drawn afresh when the keyboard comes or goes: the current row looks different.
void FolderTree::focusInEvent(QFocusEvent *event)
{
    QTreeWidget::focusInEvent(event);
    viewport()->update();
}

void FolderTree::focusOutEvent(QFocusEvent *event)
{
    QTreeWidget::focusOutEvent(event);
    viewport()->update();
}

// The styles draw the selected row alike with or without the keyboard, and a focus frame only
// after a Tab, if at all. With the keyboard, the current row is highlighted and framed; without
// it, it is tinted, so that the current folder still shows.
void FolderTree::drawRow(
    QPainter *painter, const QStyleOptionViewItem &options, const QModelIndex &index) const
{
    QStyleOptionViewItem row(options);
    const bool keys = hasFocus();
    if (!keys) {
        const QColor highlight = palette().color(QPalette::Highlight);
        const QColor base = palette().color(QPalette::Base);
        row.palette.setColor(QPalette::Highlight,
            QColor((highlight.red() + 3 * base.red()) / 4,
                (highlight.green() + 3 * base.green()) / 4,
                (highlight.blue() + 3 * base.blue()) / 4));
        row.palette.setColor(QPalette::HighlightedText, palette().color(QPalette::Text));
    }
    QTreeWidget::drawRow(painter, row, index);
    if (!keys || index != currentIndex())
        return;
    const QRect frame = QRect(options.rect.left(), visualRect(index).top(), options.rect.width(),
        visualRect(index).height())
                            .adjusted(1, 1, -2, -2);
    painter->save();
    painter->setPen(QPen(palette().color(QPalette::HighlightedText), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(frame);
    painter->restore();
}

QString FolderTree::normalized(const QString &path)
{
    const QString absolute = path.startsWith(QLatin1Char('/'))
        ? path
        : platform::currentFolder() + QLatin1Char('/') + path;
    QStringList kept;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.push_back(part);
    }
    return QLatin1Char('/') + kept.join(QLatin1Char('/'));
}

} // namespace widgets
