#include "fileops/Dialog.h"

#include "platform/Twips.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace fileops {

Dialog::Dialog(const QString &caption, int clientWidthTwips, int clientHeightTwips)
    : QDialog(nullptr)
{
    setWindowTitle(caption);
    setModal(false);
    setSizeGripEnabled(false);
    setFixedSize(
        platform::twipsToPixels(clientWidthTwips), platform::twipsToPixels(clientHeightTwips));
}

void Dialog::setButtons(QPushButton *confirm, QPushButton *cancel)
{
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    confirm->setDefault(true);
    m_cancel = cancel;
    // Without a focus widget of its own, a dialog whose tab order starts with a button other
    // than the default one would be shown with the focus on the default button.
    QWidget *first = nextInFocusChain();
    while (first != this && !(first->focusPolicy() & Qt::TabFocus))
        first = first->nextInFocusChain();
    if (first != this)
        first->setFocus(Qt::TabFocusReason);
}

void Dialog::reject()
{
    if (m_cancel && m_cancel->isEnabled())
        m_cancel->click();
}

// Enter on a focused button presses that button, as Space does: with the focus on Cancel it
// cancels. Enter on a row of a folder tree opens that folder; it must not press the confirming
// button as well, which would copy or move the file into the folder just opened. Enter anywhere
// else presses the confirming button.
void Dialog::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && qobject_cast<QAbstractItemView *>(focusWidget())) {
        event->accept();
        return;
    }
    if (auto *button = qobject_cast<QPushButton *>(focusWidget()); enter && button) {
        event->accept();
        if (button->isEnabled())
            button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The focused control shows its focus frame from the start, not only once Tab has been pressed:
// the user must see where the keys go.
void Dialog::showEvent(QShowEvent *event)
{
    setAttribute(Qt::WA_KeyboardFocusChange);
    QDialog::showEvent(event);
}

void Dialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
    reject();
}

} // namespace fileops
