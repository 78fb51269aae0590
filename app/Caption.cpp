#include "app/Caption.h"

#include "platform/NameCodec.h"

namespace app {

Caption::Caption(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Caption::setCaption(const QString &caption)
{
    m_caption = caption;
    setText(platform::displayName(caption));
}

} // namespace app
