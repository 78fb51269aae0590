#pragma once

#include <QLabel>

namespace widgets {

// A label whose caption is kept exactly as set (a path or name may hold escaped bytes of a
// name that is not UTF-8) while it shows those bytes as visible replacement glyphs. A text too
// long for the label loses its middle, so that the start of a path and the file's name both stay
// in sight, and then shows whole as the tooltip. A word-wrapping label breaks a long path
// anywhere rather than cutting it at its right edge.
class Caption : public QLabel
{
    Q_OBJECT

public:
    explicit Caption(QWidget *parent = nullptr);

    const QString &caption() const { return m_caption; }
    void setCaption(const QString &caption);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fit();

    QString m_caption;
};

} // namespace widgets
