#include "app/Forms.h"

#include <QCoreApplication>

namespace app {

QHash<QString, QPointer<QWidget>> &Forms::registry()
{
    static QHash<QString, QPointer<QWidget>> forms;
    return forms;
}

void Forms::unload(const QString &name)
{
    QPointer<QWidget> form = registry().take(name);
    if (!form)
        return;
    form->hide();
    form->deleteLater();
    // Queued, so that the program also ends when the main window goes before the event loop
    // runs (closed while its start folder was still being read).
    if (name == QLatin1String("Form1"))
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

bool Forms::isLoaded(const QString &name)
{
    return !registry().value(name).isNull();
}

bool Forms::anyVisible()
{
    for (const QPointer<QWidget> &form : registry()) {
        if (form && form->isVisible())
            return true;
    }
    return false;
}

} // namespace app
