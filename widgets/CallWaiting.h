#pragma once

// How the windows wait for a long call (platform/LongCall.h): in a local event loop on the
// window thread, so that the handler that made the call stays sequential while the program's
// windows repaint and answer the window manager. While a call is pending, the user's input to
// every window but the progress box is held back, and no handler starts (see callPending). A
// wait cursor shows after 100 ms; after 400 ms a progress box says what is being done, shows
// how far it got, and offers Cancel (and Esc). Cancel asks the call to stop; a call that has
// not stopped within 50 ms (one stuck in the kernel) is abandoned.
namespace widgets {

// Makes the windows wait for long calls made on the window thread; called once at start-up.
void waitForLongCalls();

// Whether a long call is pending: a handler that would start now is not run.
bool callPending();

// The main window was closed while a call is pending: cancel the pending calls (they end as
// cancelled), refuse any further one, and let the program end once the handler has unwound.
void requestQuit();
bool quitRequested();

} // namespace widgets
