#include "fileops/Dialog.h"

#include "app/Form1.h"
#include "app/Forms.h"

#include "widgets/Twips.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace fileops {

platform::Folder mainFolderMustExist(const platform::FileSystemObject &fileSystem)
{
    return fileSystem.GetFolder(app::Forms::load<app::Form1>().Dir1->Path());
}

Dialog::Dialog(const QString &caption, int clientWidthTwips, int clientHeightTwips)
    : QDialog(nullptr)
{
    setWindowTitle(caption);
    setModal(false);
    setSizeGripEnabled(false);
    setFixedSize(
        widgets::twipsToPixels(clientWidthTwips), widgets::twipsToPixels(clientHeightTwips));
}

// Every button is pressed by Enter while it has the focus, and is drawn as the default one
// meanwhile; with the focus anywhere else, Enter presses the confirming button.
void Dialog::setButtons(QPushButton *confirm, QPushButton *cancel)
{
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(true);
    confirm->setDefault(true);
    m_confirm = confirm;
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

// Enter reaches the dialog when the focus is on no button. On a row of a folder tree it opens
// that folder and must not press the confirming button as well, which would copy or move the file
// into the folder just opened; anywhere else it presses the confirming button, whichever button
// was last drawn as the default.
void Dialog::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!qobject_cast<QAbstractItemView *>(focusWidget()) && m_confirm && m_confirm->isEnabled())
        m_confirm->click();
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
