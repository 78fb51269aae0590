#pragma once

#include "platform/Failure.h"

#include <functional>

namespace widgets {

// Every event handler runs through this guard. A failure ends the handler (the steps before it
// stay done) and goes to the program's failure handling (see GuardEndings), and the program
// goes on running. A handler raised synchronously inside another one (a folder tree's change
// inside a drive change) is not guarded again: its failure goes to the outer handler, which may
// trap it. While a handler waits for a long call, no other handler starts: the input that would
// start one is dropped.
void runGuarded(const std::function<void()> &handler);

template<class Object> auto guarded(Object *object, void (Object::*handler)())
{
    return [object, handler] { runGuarded([object, handler] { (object->*handler)(); }); };
}

// What the program does when a guarded handler ends early, installed once at start-up. report
// tells the user of a failure (by default the failure report, and nothing for a call the user
// cancelled); recover runs next, guarded itself, so that the user is not left without a window;
// quit runs instead when the program was asked to end while the handler waited.
struct GuardEndings
{
    std::function<void(const platform::Failure &)> report;
    std::function<void()> recover;
    std::function<void()> quit;
};
void installGuardEndings(GuardEndings endings);

} // namespace widgets
