#include "widgets/Caption.h"

#include "platform/NameCodec.h"
#include "widgets/TextFit.h"

#include <QEvent>

namespace widgets {

Caption::Caption(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Caption::setCaption(const QString &caption)
{
    m_caption = caption;
    // The label's accessible name says what it is for; its whole text reaches assistive
    // technology as the description.
    setAccessibleDescription(platform::displayName(caption));
    fit();
}

void Caption::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fit();
}

void Caption::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fit();
}

void Caption::fit()
{
    const QString whole = platform::displayName(m_caption);
    const QRect area = contentsRect();
    const int lineCount = wordWrap() ? std::max(1, area.height() / fontMetrics().lineSpacing()) : 1;
    const widgets::FittedText shown = widgets::fitted(whole, font(), area.width(), lineCount);
    setText(shown.text);
    setToolTip(shown.cut ? whole : QString());
}

} // namespace widgets
