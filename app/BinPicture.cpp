#include "app/BinPicture.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QPainter>

namespace app {

BinPicture::BinPicture(QWidget *parent)
    : QLabel(parent)
{
    setAcceptDrops(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAccessibleName(tr("Bin"));
    setAccessibleDescription(tr("Drop a file here to delete it"));
    setFocusPolicy(Qt::TabFocus);
}

void BinPicture::keyPressEvent(QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Delete:
        if (plain) {
            event->accept();
            Q_EMIT Drop();
            return;
        }
        break;
    default:
        break;
    }
    QLabel::keyPressEvent(event);
}

// The focus frame is drawn in the highlight colour round the picture: the bin has no other way
// to show that Space, Enter or Delete would go to it.
void BinPicture::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
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
