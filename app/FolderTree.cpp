#include "app/FolderTree.h"

#include "app/Guard.h"
#include "filelist/Collation.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/NameCodec.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {

constexpr int PathRole = Qt::UserRole;

struct DirCloser
{
    void operator()(DIR *stream) const { ::closedir(stream); }
};

// The names of the subfolders of path (symlinks to folders included). Throws when the folder
// cannot be opened or read.
QStringList readSubfolders(const QString &path)
{
    const QByteArray bytes = platform::encodeName(path);
    std::unique_ptr<DIR, DirCloser> stream(::opendir(bytes.constData()));
    if (!stream)
        throw platform::Failure::fromErrno(errno, QObject::tr("Cannot open the folder"), path);
    QStringList names;
    for (;;) {
        errno = 0;
        const struct dirent *entry = ::readdir(stream.get());
        if (!entry) {
            if (errno != 0)
                throw platform::Failure::fromErrno(
                    errno, QObject::tr("Cannot read the folder"), path);
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat status
            { };
            folder = ::fstatat(::dirfd(stream.get()), name, &status, AT_NO_AUTOMOUNT) == 0
                && S_ISDIR(status.st_mode);
        }
        if (folder)
            names.push_back(platform::decodeName(name));
    }
    const filelist::Collation collation;
    std::sort(names.begin(), names.end(),
        [&](const QString &a, const QString &b) { return collation.compare(a, b) < 0; });
    return names;
}

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
    try {
        rebuild(readSubfolders(m_path));
    } catch (const platform::Failure &) {
        rebuild({}); // the start folder cannot be listed: the listing reports it
    }
}

void FolderTree::openRow(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString path = rowPath(item);
    runGuarded([this, path] { setPath(path); });
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
    scrollToItem(current);
}

QString FolderTree::normalized(const QString &path)
{
    const QString absolute
        = path.startsWith(QLatin1Char('/')) ? path : platform::currentFolder() + QLatin1Char('/') + path;
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

} // namespace app
