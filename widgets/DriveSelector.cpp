#include "widgets/DriveSelector.h"

#include "platform/FileSystem.h"
#include "platform/Volumes.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>

namespace widgets {

namespace {

// Qt's own accessible combo box on Linux names itself after its current text and leaves its
// label to a relation; the drive selector has no label, so this one names itself after the
// control's accessible name and gives the picked volume as its value. Like Qt's, it has the
// drop-down list as its one child and opens that list as its action.
class AccessibleDriveSelector : public QAccessibleWidget
{
public:
    explicit AccessibleDriveSelector(DriveSelector *selector)
        : QAccessibleWidget(selector, QAccessible::ComboBox)
    { }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return selector()->accessibleName();
        if (kind == QAccessible::Value)
            return selector()->currentText();
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = selector()->view()->isVisible();
        return state;
    }

    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(selector()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == selector()->view() ? 0 : -1;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (selector()->view()->isVisible())
            selector()->hidePopup();
        else
            selector()->showPopup();
    }

private:
    DriveSelector *selector() const { return static_cast<DriveSelector *>(widget()); }
};

QAccessibleInterface *accessibleDriveSelector(const QString &className, QObject *object)
{
    if (className == QLatin1String(DriveSelector::staticMetaObject.className()))
        return new AccessibleDriveSelector(static_cast<DriveSelector *>(object));
    return nullptr;
}

} // namespace

DriveSelector::DriveSelector(QWidget *parent)
    : QComboBox(parent)
    , m_volumes(platform::VolumeService::current().volumes())
{
    static const bool factoryInstalled
        = (QAccessible::installFactory(accessibleDriveSelector), true);
    Q_UNUSED(factoryInstalled);
    setAccessibleName(tr("Volumes"));
    for (const platform::Volume &volume : m_volumes)
        addItem(volume.label.isEmpty() ? volume.root : volume.label, volume.root);
    const int start = platform::volumeIndexForPath(m_volumes, platform::currentFolder());
    setCurrentIndex(start);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveSelector::Change);
}

QString DriveSelector::Drive() const
{
    return currentData().toString();
}

} // namespace widgets
