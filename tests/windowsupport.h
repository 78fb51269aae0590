#pragma once

// What the tests of the windows share: scripted services, clicks as the window system delivers
// them, and the main window started in a folder of its own.

#include "platform/Volumes.h"
#include "testsupport.h"
#include "widgets/Services.h"

#include <QPoint>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

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

// Unloads every window of the program and runs their deferred deletion, so that the next test
// starts with nothing loaded.
void unloadAllForms();

// A double click as the window system delivers it: press, release, press, release in quick
// succession, which the widgets see as press, release, press, double click, release.
void doubleClick(QWidget *widget, QPoint position);
// A double click on the row of path in a folder tree; true when the tree went there.
bool openInTree(widgets::FolderTree *tree, const QString &path);

// The main window's file buttons by name: all of them, and the ones that are enabled.
extern const QStringList allFileButtons;
QStringList enabledFileButtons(const app::Form1 &form);

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
