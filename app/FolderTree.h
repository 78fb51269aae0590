#pragma once

#include <QTreeWidget>

#include <functional>

namespace app {

// The folder tree: the folders from "/" down to the current folder, one indented row per level,
// then the current folder's subfolders one level deeper (all of them, dot-folders included, in
// the list's collation). Double-click or Enter on a row opens that folder. Its Path is the
// current folder; assigning it checks that the folder exists and can be listed, throws and keeps
// the old path if not, and when the path changes raises Change before the assignment returns.
class FolderTree : public QTreeWidget
{
    Q_OBJECT

public:
    // Starts at the process's current folder.
    explicit FolderTree(QWidget *parent = nullptr);

    const QString &Path() const { return m_path; }
    void setPath(const QString &path);

    // Raised synchronously inside setPath when the path changes. A failure it throws goes to
    // whoever assigned the path.
    std::function<void()> Change;

    // The path a row stands for; for tests and for the keyboard.
    static QString rowPath(const QTreeWidgetItem *item);
    QTreeWidgetItem *rowForPath(const QString &path) const;
    // Opens the row as a double click does (through the handler guard).
    void openRow(QTreeWidgetItem *item);

    // A path made absolute (from the process's current folder) and free of ".", ".." and
    // repeated separators, by text alone.
    static QString normalized(const QString &path);

private:
    void rebuild(const QStringList &subfolders);

    QString m_path;
};

} // namespace app
