#include "app/Program.h"
#include "platform/LongCall.h"

#include <QApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    int status = 0;
    {
        QApplication application(argc, argv);
        app::startProgram();
        status = application.exec();
        // A call abandoned while stuck in the kernel (a dead network mount) may never return;
        // the program ends at once, without tearing down what its thread may still be using.
        if (platform::workersStillRunning()) {
            std::fflush(nullptr);
            ::_exit(status);
        }
    }
    return status;
}
