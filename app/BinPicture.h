#pragma once

#include <QLabel>

namespace app {

// The bin picture: accepts drops of anything, from this window or another program, and raises
// Drop for each once the drop itself is over, so that the drag source is never kept waiting on
// the questions the drop handler asks.
class BinPicture : public QLabel
{
    Q_OBJECT

public:
    explicit BinPicture(QWidget *parent = nullptr);

Q_SIGNALS:
    void Drop();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

} // namespace app
