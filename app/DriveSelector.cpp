#include "app/DriveSelector.h"

#include "app/FolderTree.h"
#include "platform/Volumes.h"

namespace app {

DriveSelector::DriveSelector(QWidget *parent)
    : QComboBox(parent)
    , m_volumes(platform::VolumeService::current().volumes())
{
    setAccessibleName(tr("Volumes"));
    for (const platform::Volume &volume : m_volumes)
        addItem(volume.label.isEmpty() ? volume.root : volume.label, volume.root);
    const int start = platform::volumeIndexForPath(m_volumes, FolderTree::currentFolder());
    setCurrentIndex(start);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveSelector::Change);
}

QString DriveSelector::Drive() const
{
    return currentData().toString();
}

} // namespace app
