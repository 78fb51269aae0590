#pragma once

#include "platform/LongCall.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace widgets {

// The small box that shows a long call at work: what is being done, a bar (bytes for a copy, a
// busy bar with the count of entries read for a listing, a busy bar otherwise) and Cancel. While
// it shows, the program's other windows take no input, so the user's only choice is to cancel,
// with the button, Esc or the window frame. It closes when its call ends, not when Cancel is
// pressed.
class ProgressBox : public QDialog
{
    Q_OBJECT

public:
    ProgressBox(QWidget *over, const QString &doing, platform::Activity::Unit unit);

    void showProgress(qint64 done, qint64 total);
    void placeOver(const QWidget *window);

Q_SIGNALS:
    void cancelPressed();

protected:
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    platform::Activity::Unit m_unit;
    QLabel *m_doing;
    QLabel *m_count;
    QProgressBar *m_bar;
    QPushButton *m_cancel;
};

} // namespace widgets
