#include "app/BinPicture.h"

#include <QDragEnterEvent>
#include <QDropEvent>

namespace app {

BinPicture::BinPicture(QWidget *parent)
    : QLabel(parent)
{
    setAcceptDrops(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAccessibleName(tr("Bin"));
    setAccessibleDescription(tr("Drop a file here to delete it"));
}

// Whatever is offered is taken as a copy: a source must never delete its data because it was
// dropped here.
void BinPicture::dragEnterEvent(QDragEnterEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void BinPicture::dragMoveEvent(QDragMoveEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void BinPicture::dropEvent(QDropEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QMetaObject::invokeMethod(this, &BinPicture::Drop, Qt::QueuedConnection);
}

} // namespace app
