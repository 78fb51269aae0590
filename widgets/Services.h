#pragma once

#include "platform/Failure.h"

#include <QMessageBox>
#include <QString>

#include <memory>

class QUrl;

namespace widgets {

// The two small services through which the program reaches the desktop (the third, the list
// of volumes, is platform::VolumeService). Production code calls whichever is installed; by
// default that is the real one, and a test installs a scripted or recording one instead so that
// no real box is shown and no application started.

// Modal message boxes titled with the application's title.
class MessageService
{
public:
    enum Buttons { OkOnly = 0, OkCancel = 1 };
    enum Answer { Ok = 1, Cancel = 2 };

    virtual ~MessageService() = default;
    // Shows prompt with button code 0 (OK alone) or 1 (OK and Cancel, OK the default) and
    // returns the answer code: 1 for OK, 2 for Cancel or a box closed without OK.
    virtual int MsgBox(const QString &prompt, int buttons) = 0;
    // The failure report: the failure's number and description.
    virtual void reportFailure(const platform::Failure &failure) = 0;

    static MessageService &current();
    // Installs service (not owned) or, with nullptr, the real one again.
    static void install(MessageService *service);
};

// Hands a document to the desktop's default application, without waiting for it.
class OpenService
{
public:
    virtual ~OpenService() = default;
    virtual void open(const QString &path) = 0;

    static OpenService &current();
    static void install(OpenService *service);
};

// The file URL under which the real open service hands path to the desktop. It is built from
// the path's exact bytes with everything but letters, digits, "-._~" and "/" percent-encoded,
// so it is a single word that no launcher splits or interprets, "//name" stays a path (the host
// is empty), and a name that is not UTF-8 keeps its bytes. A relative path is taken from the
// process's current folder, as the system would open it. Empty when path is empty or holds text
// that no file name can have.
QUrl fileUrlFor(const QString &path);

// The application's title, used on the main window and on every message box.
QString applicationTitle();

// The program's window the user is working in: the active one, else the first one shown;
// nullptr when none is shown. Message and progress boxes go over it.
QWidget *windowInUse();

// A message box as the real message service shows it: titled with the application's title, its
// text plain, over the window in use, and wide enough for the window frame to show its title
// whole beside the frame's buttons.
std::unique_ptr<QMessageBox> messageBox(QMessageBox::Icon icon, const QString &text);

} // namespace widgets
