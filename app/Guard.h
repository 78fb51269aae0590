#pragma once

namespace app {

// Makes every guarded handler (widgets/Guard.h) end as this program ends one. A failure is shown
// in the failure report with its number and description; a call the user cancelled is no error,
// and the main window's status line says what was cancelled and what was left instead. If that
// leaves no window of the program on screen, the main window comes back as Cancel would bring
// it. A handler that waited while the main window was closed ends the program.
void installFailureHandling();

} // namespace app
