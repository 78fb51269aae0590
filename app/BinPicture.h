#pragma once

#include <QLabel>

namespace app {

// The bin picture: accepts drops of anything, from this window or another program, and raises
// Drop for each once the drop itself is over, so that the drag source is never kept waiting on
// the questions the drop handler asks. It takes the focus by Tab, shows it with a frame, and
// Space, Enter or Delete on it raise Drop as a drop does.
class BinPicture : public QLabel
{
    Q_OBJECT

public:
    explicit BinPicture(QWidget *parent = nullptr);

Q_SIGNALS:
    void Drop();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

} // namespace app
