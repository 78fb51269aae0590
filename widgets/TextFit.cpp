#include "widgets/TextFit.h"

#include <QFontMetrics>
#include <QTextLayout>

#include <algorithm>
#include <vector>

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

FittedText fittedParagraphs(const QString &text, const QFont &font, int width, int lineCount)
{
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    std::vector<int> lines;
    int total = 0;
    for (const QString &paragraph : paragraphs) {
        lines.push_back(int(std::max<qsizetype>(1, linesOf(paragraph, font, width).size())));
        total += lines.back();
    }
    while (total > lineCount) {
        const auto longest = std::max_element(lines.begin(), lines.end());
        if (*longest <= 1)
            break;
        --*longest;
        --total;
    }
    QStringList shown;
    bool cut = false;
    for (size_t k = 0; k < lines.size(); ++k) {
        const FittedText part = fitted(paragraphs[qsizetype(k)], font, width, lines[k]);
        shown.push_back(part.text);
        cut = cut || part.cut;
    }
    return {shown.join(QLatin1Char('\n')), cut};
}

} // namespace widgets
