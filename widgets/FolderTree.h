#pragma once

#include <QTreeWidget>

#include <functional>

namespace widgets {

// The folder tree: the folders from "/" down to the current folder, one indented row per level,
// then the current folder's subfolders one level deeper (all of them, dot-folders included, in
// the list's collation). Double-click or Enter on a row raises RowOpened with that row's folder;
// the window that owns the tree opens it by assigning Path. Its Path is the current folder;
// assigning it reads the folder through the platform layer (it must exist and be listable),
// throws and keeps the old path if not, and when the path changes raises Change before the
// assignment returns. It shows the path from the top where it can. Where its parent cuts off its
// bottom (the main window's tree reaches below the window), its rows and scroll bar end above
// that edge, so that every row can be scrolled into sight. Its current row says whether the tree
// has the keyboard: highlighted and framed while it has, only tinted while it has not.
class FolderTree : public QTreeWidget
{
    Q_OBJECT

public:
    // Starts at the process's current folder.
    explicit FolderTree(QWidget *parent = nullptr);

    const QString &Path() const { return m_path; }
    void setPath(const QString &path);

    // Raised synchronously inside setPath when the path changes. A failure it throws goes to
    // whoever assigned the path, which is why this is a callback and not a Qt signal: an
    // exception must not pass through Qt's signal delivery.
    std::function<void()> Change;

    // The path a row stands for; for tests and for the keyboard.
    static QString rowPath(const QTreeWidgetItem *item);
    QTreeWidgetItem *rowForPath(const QString &path) const;
    // Asks for the row's folder to be opened, as a double click does.
    void openRow(QTreeWidgetItem *item);

    // A path made absolute (from the process's current folder) and free of ".", ".." and
    // repeated separators, by text alone.
    static QString normalized(const QString &path);

Q_SIGNALS:
    void RowOpened(const QString &path);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &options,
        const QModelIndex &index) const override;

private:
    void readStartFolder();
    void rebuild(const QStringList &subfolders);
    void revealPath();
    void keepAboveParentEdge();

    QString m_path;
};

} // namespace widgets
