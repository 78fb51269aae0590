#include "app/Caption.h"

#include "platform/NameCodec.h"

#include <QEvent>
#include <QTextLayout>

namespace app {

namespace {

// The lines text breaks into at width, at word boundaries where it can and anywhere where it
// must.
QStringList linesOf(const QString &text, const QFont &font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.push_back(text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    return lines;
}

struct Fitted
{
    QString text;
    bool cut;
};

// text as it fits into lineCount lines of width: whole when it can, else with as little of its
// middle left out as needed.
Fitted fitted(const QString &text, const QFont &font, int width, int lineCount)
{
    const QFontMetrics metrics(font);
    if (lineCount <= 1) {
        const QString shown = metrics.elidedText(text, Qt::ElideMiddle, width);
        return {shown, shown != text};
    }
    const QStringList lines = linesOf(text, font, width);
    if (lines.size() <= lineCount)
        return {lines.join(QLatin1Char('\n')), false};
    // The widest elision that still breaks into lineCount lines.
    int fits = 0;
    int tooWide = width * lineCount + 1;
    while (tooWide - fits > 1) {
        const int middle = (fits + tooWide) / 2;
        if (linesOf(metrics.elidedText(text, Qt::ElideMiddle, middle), font, width).size()
            <= lineCount)
            fits = middle;
        else
            tooWide = middle;
    }
    return {linesOf(metrics.elidedText(text, Qt::ElideMiddle, fits), font, width)
                .join(QLatin1Char('\n')),
        true};
}

} // namespace

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
    const Fitted shown = fitted(whole, font(), area.width(), lineCount);
    setText(shown.text);
    setToolTip(shown.cut ? whole : QString());
}

} // namespace app
