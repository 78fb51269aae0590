#pragma once

#include "app/BinPicture.h"
#include "app/ImageList.h"
#include "filelist/ListView.h"
#include "widgets/Caption.h"
#include "widgets/DriveSelector.h"
#include "widgets/FolderTree.h"

#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>

namespace app {

// The main window, the program's home: the drive selector and folder tree on the left, the
// path box and the file list on the right, under the list the selected file's path, the status
// line, the four file-command buttons and the bin. Its controls keep the names the rest of the
// program addresses them by. Handlers are named after control and event; those of the file
// commands (Open, Rename, Copy, Move and the bin) are in FileCommands.cpp.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr const char *formName = "Form1";

    Form1();
    // The load handler: puts the bin picture in place, disables the file buttons, lists the
    // start folder and fills the path box.
    void load();
    // The exact folder path the path box stands for: its text with the marks it shows for
    // bidirectional controls taken back to the characters they stand for, where the user left
    // them as they were (as the rename box does). Whoever builds a path from the box reads this,
    // never the shown text.
    QString pathBoxFolder() const;

    QLineEdit *txtpath;
    widgets::FolderTree *Dir1;
    widgets::DriveSelector *Drive1;
    filelist::ListView *ListView1;
    widgets::Caption *lblFilePath;
    QPushButton *cmdopen;
    BinPicture *picBin;
    QPushButton *cmdrename;
    QPushButton *cmdMove;
    widgets::Caption *lblmessege;
    QPushButton *cmdCopy;
    ImageList *Imgbinlst;
    ImageList *ImageList1;

    QMenu *File;
    QAction *Close;
    QMenu *View;
    QAction *Report;
    QAction *Icon;
    QAction *Small;
    QAction *listit;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls(QWidget *client);
    void buildMenus();
    void connectHandlers();

    void Close_Click();
    void Dir1_Change();
    void Drive1_Change();
    void txtpath_ReturnPressed();
    void txtpath_KeyEscape();
    void txtpath_LostFocus();
    void ListView1_ItemClick();
    void ListView1_DblClick();
    void ListView1_ColumnClick(int index);
    void ListView1_SelectionLost();
    void ListView1_DeleteKey();
    void ListView1_Refresh();
    void Report_Click();
    void Icon_Click();
    void Small_Click();
    void listit_Click();
    void cmdopen_Click();
    void cmdrename_Click();
    void cmdCopy_Click();
    void cmdMove_Click();
    void picBin_Drop();

    void changeView(int view);
    void showListedFolder();
    void setPathBox(const QString &path);

    bool m_centred = false;
    QString m_pathBoxPath; // the exact path last written to the path box
};

} // namespace app
