#pragma once

#include <functional>

namespace app {

// Every event handler runs through this guard. A failure ends the handler (the steps before it
// stay done), is shown in the failure report with its number and description, and the program
// goes on running; if that leaves no window of the program on screen, the main window comes
// back as Cancel would bring it. A call the user cancelled ends the handler the same way, but it
// is no error: instead of a report, the main window's status line says what was cancelled and
// what was left. A handler raised synchronously inside another one (a folder
// tree's change inside a drive change) is not guarded again: its failure goes to the outer
// handler, which may trap it. While a handler waits for a long call, no other handler starts:
// the input that would start one is dropped.
void runGuarded(const std::function<void()> &handler);

template<class Object> auto guarded(Object *object, void (Object::*handler)())
{
    return [object, handler] { runGuarded([object, handler] { (object->*handler)(); }); };
}

} // namespace app
