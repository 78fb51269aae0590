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
    // The label's accessible name says what it is for; its text reaches assistive technology
    // as the description.
    setAccessibleDescription(text());
}

} // namespace app
