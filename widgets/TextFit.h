#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace widgets {

// Fitting a text into a few lines of a given width, for labels and boxes that show paths and
// names: a long name has no spaces to break at, so it breaks anywhere, and a text too long even
// then loses its middle, so that its start and its end (a path's top and its file's name) stay
// in sight.

// The lines text breaks into at width, at word boundaries where it can and anywhere where it
// must. A line break in text ends a line.
QStringList linesOf(const QString &text, const QFont &font, int width);

struct FittedText
{
    QString text; // the lines, joined by "\n"
    bool cut; // true when part of the middle was left out
};

// text as it fits into lineCount lines of width: whole when it can, else with as little of its
// middle left out as needed.
FittedText fitted(const QString &text, const QFont &font, int width, int lineCount);

// The same for a text of several paragraphs, in no more than lineCount lines in all: each
// paragraph gets the lines it needs, and while they are too many the longest gives up one.
FittedText fittedParagraphs(const QString &text, const QFont &font, int width, int lineCount);

} // namespace widgets
