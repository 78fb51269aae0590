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
    if (name == QLatin1String("Form1"))
        QCoreApplication::quit();
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
