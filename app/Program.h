#pragma once

namespace app {

// Sets up the application and shows the main window at the centre of the screen; the program
// ends when the main window is unloaded.
void startProgram();

} // namespace app
