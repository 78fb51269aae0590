#pragma once

#include "platform/Volumes.h"

#include <QComboBox>

namespace widgets {

// The drive selector: the mounted volumes as a drop-down list, read from the mount table
// without touching any volume. Starts on the volume that holds the process's current folder.
// Its Drive is the picked volume's root path; picking an entry raises Change.
class DriveSelector : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveSelector(QWidget *parent = nullptr);

    QString Drive() const;

Q_SIGNALS:
    void Change();

private:
    std::vector<platform::Volume> m_volumes;
};

} // namespace widgets
