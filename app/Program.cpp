#include "app/Program.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "platform/Services.h"

#include <QApplication>

namespace app {

void startProgram()
{
    QApplication::setApplicationName(QStringLiteral("tolvan-file-explorer"));
    QApplication::setQuitOnLastWindowClosed(false);
    // A start folder that cannot be listed is reported; the window still comes up, so the user
    // can move elsewhere.
    try {
        Forms::show<Form1>();
    } catch (const platform::Failure &failure) {
        platform::MessageService::current().reportFailure(failure);
        Forms::load<Form1>().show();
    }
}

} // namespace app
