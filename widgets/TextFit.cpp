#include "widgets/TextFit.h"

#include <QFontMetrics>
#include <QTextLayout>

namespace widgets {

namespace {

// The lines of one paragraph (text without line breaks).
void appendLines(QStringList &lines, const QString &text, const QFont &font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.push_back(text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
}

} // namespace

QStringList linesOf(const QString &text, const QFont &font, int width)
{
    QStringList lines;
    for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty())
            lines.push_back(paragraph);
        else
            appendLines(lines, paragraph, font, width);
    }
    return lines;
}

FittedText fitted(const QString &text, const QFont &font, int width, int lineCount)
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

} // namespace widgets
