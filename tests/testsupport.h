#pragma once

// Shared helpers for the tests: scripted services, file helpers that take raw byte paths (so that
// names that are not UTF-8 work), and the main window started in a folder of its own.

#include "platform/Volumes.h"
#include "widgets/Services.h"

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include <sys/types.h>

class QWidget;
namespace app {
class Form1;
} // namespace app
namespace widgets {
class FolderTree;
} // namespace widgets
namespace filelist {
class FileListModel;
} // namespace filelist

namespace testing {

// Answers message boxes from a queue (OK when it runs dry) and records every box and failure.
class ScriptedMessages : public widgets::MessageService
{
public:
    ScriptedMessages() { install(this); }
    ~ScriptedMessages() override { install(nullptr); }

    struct Box
    {
        QString prompt;
        int buttons;
    };

    int MsgBox(const QString &prompt, int buttons) override;
    void reportFailure(const platform::Failure &failure) override;

    std::deque<int> answers;
    std::vector<Box> boxes;
    std::vector<platform::Failure> failures;
};

// Records every path it is asked to open.
class RecordingOpener : public widgets::OpenService
{
public:
    RecordingOpener() { install(this); }
    ~RecordingOpener() override { install(nullptr); }
    void open(const QString &path) override { opened.push_back(path); }
    QStringList opened;
};

// A fixed list of volumes.
class ScriptedVolumes : public platform::VolumeService
{
public:
    explicit ScriptedVolumes(std::vector<platform::Volume> list)
        : list(std::move(list))
    {
        install(this);
    }
    ~ScriptedVolumes() override { install(nullptr); }
    std::vector<platform::Volume> volumes() override { return list; }
    std::vector<platform::Volume> list;
};

// Makes path the process's current folder (where the program and its dialogs start) for the
// lifetime of this object.
class CurrentFolder
{
public:
    explicit CurrentFolder(const QByteArray &path);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder &) = delete;
    CurrentFolder &operator=(const CurrentFolder &) = delete;

private:
    QByteArray m_previous;
};

// Unloads every window of the program and runs their deferred deletion, so that the next test
// starts with nothing loaded.
void unloadAllForms();

// Pins the locale the texts are checked in (en_US: 1,024.00KB).
void useEnglishLocale();

// Writes bytes to the file at path and gives it exactly mode; fails the test on error.
void writeFile(const QByteArray &path, const QByteArray &bytes, mode_t mode = 0644);
// The file's bytes, or "<missing>" when it cannot be opened. Never blocks on a FIFO.
QByteArray readFile(const QByteArray &path);
void makeFolder(const QByteArray &path);
// Removes path and everything under it without following symbolic links, read-only folders
// included.
void removeTree(const QByteArray &path);
// The names in a folder, sorted, as raw bytes.
QList<QByteArray> folderEntries(const QByteArray &path);
// Everything under a folder, sorted, by raw path relative to it: a folder as "name/", a file as
// "name=" and its bytes. Comparing two shows whatever appeared, vanished or changed.
QList<QByteArray> treeOf(const QByteArray &path);
QByteArray bytesOf(const QString &path);

// A double click as the window system delivers it: press, release, press, release in quick
// succession, which the widgets see as press, release, press, double click, release.
void doubleClick(QWidget *widget, QPoint position);
// A double click on the row of path in a folder tree; true when the tree went there.
bool openInTree(widgets::FolderTree *tree, const QString &path);

// The main window's file buttons by name: all of them, and the ones that are enabled.
extern const QStringList allFileButtons;
QStringList enabledFileButtons(const app::Form1 &form);

// Gives up, for this thread and the threads it starts, root's right to read, write and search
// any file whatever its mode, so that a folder's mode bits apply; restores it when it goes.
// active() is false where the right could not be given up.
class WithoutFileAccessOverride
{
public:
    WithoutFileAccessOverride();
    ~WithoutFileAccessOverride();
    WithoutFileAccessOverride(const WithoutFileAccessOverride &) = delete;
    WithoutFileAccessOverride &operator=(const WithoutFileAccessOverride &) = delete;

    bool active() const { return m_active; }

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
    bool m_active = false;
};

// A fresh folder of its own (under the current folder, named after the test program) that is
// the process's current folder, scripted message, open and volume services (one volume, "/"),
// and the English locale. start() loads and shows the main window there. On destruction every
// window is unloaded, the names the windows share are cleared, the current folder is restored
// and the folder is removed.
class MainWindowScene
{
public:
    MainWindowScene();
    ~MainWindowScene();
    MainWindowScene(const MainWindowScene &) = delete;
    MainWindowScene &operator=(const MainWindowScene &) = delete;

    // Makes the subfolder (a path relative to folder) the current folder, for a start there.
    void enter(const QByteArray &subfolder);
    app::Form1 &start();

    // A name under folder as raw bytes, and as the program's text (the folder's own without a
    // name).
    QByteArray path(const QByteArray &name) const { return folder + '/' + name; }
    QString text(const QByteArray &name = {}) const;
    filelist::FileListModel &model() const;
    // The names of the list's rows in the order shown.
    QStringList shownNames() const;
    // A real click on the file's row in the list's current view; true when it got selected.
    bool clickFile(const QString &name);

    const QByteArray folder; // its real path, without symbolic links
    ScriptedMessages messages;
    RecordingOpener opener;
    ScriptedVolumes volumes {{{QStringLiteral("/"), QStringLiteral("/")}}};
    app::Form1 *form = nullptr;

private:
    std::optional<CurrentFolder> m_current;
};

} // namespace testing
