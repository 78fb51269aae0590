#include "app/Program.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Guard.h"
#include "platform/Memory.h"
#include "widgets/CallWaiting.h"
#include "widgets/Guard.h"

#include <QApplication>
#include <QIcon>

// The application icon is compiled into the static library; a static library's resources must
// be registered by hand.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace app {

namespace {

// The name of the installed launcher (tolvan-file-explorer.desktop) and of the icon in the
// desktop's icon theme.
const QString desktopId = QStringLiteral("tolvan-file-explorer");

// The icon installed into the icon theme, or, when the program runs uninstalled, the same
// pictures compiled into the program.
QIcon applicationIcon()
{
    initIconResources();
    QIcon compiledIn;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        compiledIn.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(desktopId, compiledIn);
}

} // namespace

void startProgram()
{
    platform::returnLargeBlocksToTheSystem();
    QApplication::setApplicationName(desktopId);
    // Lets the desktop match the windows to the launcher, for its icon and name in task bars.
    QApplication::setDesktopFileName(desktopId);
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);
    widgets::waitForLongCalls();
    installFailureHandling();
    // The window shows at once and its load handler runs while it is on screen, so a long
    // listing of the start folder shows its progress over the window. A start folder that cannot
    // be listed is reported as any handler's failure is; the window stays, so the user can move
    // elsewhere. Closed while the start folder was being read, the program simply ends.
    Form1 &form = Forms::create<Form1>();
    form.show();
    widgets::runGuarded([&form] { form.load(); });
}

} // namespace app
