#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace app {

// The program's four windows are single program-wide instances addressed by name. Loading a
// window creates it and runs its load handler; showing a window that is not loaded loads it
// first; unloading hides it, forgets it and destroys it later, so a handler that unloads its
// own window still runs to its end. Each form class names itself with a static formName and
// has a load() member, its load handler.
class Forms
{
public:
    template<class F> static F *loaded()
    {
        return qobject_cast<F *>(registry().value(QLatin1String(F::formName)).data());
    }

    // A load handler that fails leaves its window loaded, as far as it got; the failure goes on
    // to the caller.
    template<class F> static F &load()
    {
        if (F *form = loaded<F>())
            return *form;
        F &form = create<F>();
        form.load();
        return form;
    }

    // Creates and registers the window without running its load handler yet: start-up shows
    // the main window before its load handler's listing ends.
    template<class F> static F &create()
    {
        auto *form = new F;
        registry().insert(QLatin1String(F::formName), form);
        return *form;
    }

    template<class F> static F &show()
    {
        F &form = load<F>();
        form.show();
        return form;
    }

    // Unloading a window that is not loaded does nothing. Unloading the main window ends the
    // program.
    static void unload(const QString &name);
    static bool isLoaded(const QString &name);
    static bool anyVisible();

private:
    static QHash<QString, QPointer<QWidget>> &registry();
};

} // namespace app
