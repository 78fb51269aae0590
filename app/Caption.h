#pragma once

#include <QLabel>

namespace app {

// A label whose caption is kept exactly as set (a path or name may hold escaped bytes of a
// name that is not UTF-8) while it shows those bytes as visible replacement glyphs.
class Caption : public QLabel
{
    Q_OBJECT

public:
    explicit Caption(QWidget *parent = nullptr);

    const QString &caption() const { return m_caption; }
    void setCaption(const QString &caption);

private:
    QString m_caption;
};

} // namespace app
