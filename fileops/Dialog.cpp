#include "fileops/Dialog.h"

#include "app/Twips.h"

#include <QCloseEvent>
#include <QPushButton>

namespace fileops {

Dialog::Dialog(const QString &caption, int clientWidthTwips, int clientHeightTwips)
    : QDialog(nullptr)
{
    setWindowTitle(caption);
    setModal(false);
    setSizeGripEnabled(false);
    setFixedSize(app::twipsToPixels(clientWidthTwips), app::twipsToPixels(clientHeightTwips));
}

void Dialog::setButtons(QPushButton *confirm, QPushButton *cancel)
{
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    confirm->setDefault(true);
    m_cancel = cancel;
}

void Dialog::reject()
{
    if (m_cancel && m_cancel->isEnabled())
        m_cancel->click();
}

void Dialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
    reject();
}

} // namespace fileops
