#pragma once

#include "fileops/Dialog.h"

#include <QLineEdit>
#include <QPushButton>

namespace fileops {

// The rename dialog: the selected file's name in a text box, to be changed and confirmed.
class Form2 : public Dialog
{
    Q_OBJECT

public:
    static constexpr const char *formName = "Form2";

    Form2();
    void load() { }
    // Selects the new name's box up to the extension (the whole text when there is none, as for
    // ".profile"), ready to be typed over as in other file managers; the text stays as it is.
    void selectNameWithoutExtension();

    QLineEdit *txtnew;
    QPushButton *cmdChange;
    QPushButton *cmdcancel;

private:
    void cmdChange_Click();
    void cmdcancel_Click();
};

} // namespace fileops
