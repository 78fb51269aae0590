#include "platform/NameCodec.h"

#include "platform/Failure.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isBidiControl(char16_t unit)
{
    return (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069)
        || unit == 0x200E || unit == 0x200F || unit == 0x061C;
}

bool isEscapedByte(char16_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// "⟨U+202E⟩": the mathematical angle brackets are rare in names and read as a mark, and
// the code point says exactly which character is there.
constexpr qsizetype markLength = 8;

void appendMark(QString &text, char16_t unit)
{
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    const char16_t mark[markLength] = {u'\u27E8', u'U', u'+', hex[unit >> 12],
        hex[(unit >> 8) & 0xF], hex[(unit >> 4) & 0xF], hex[unit & 0xF], u'\u27E9'};
    text.append(reinterpret_cast<const QChar *>(mark), markLength);
}

// How many units the unit at text[i] takes in the marked form.
qsizetype markedLength(char16_t unit)
{
    return isBidiControl(unit) ? markLength : 1;
}

// The text with bidi controls as marks and, with escapes, escaped bytes as U+FFFD.
QString shownText(const QString &text, bool replaceEscapes)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    const auto needsChange = [&](char16_t unit) {
        return isBidiControl(unit) || (replaceEscapes && isEscapedByte(unit));
    };
    while (i < size && !needsChange(text[i].unicode()))
        ++i;
    if (i == size)
        return text;
    QString shown;
    shown.reserve(size + markLength * 2);
    shown.append(QStringView(text).left(i));
    for (; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        // An escaped byte is a lone low surrogate; one that follows a high surrogate is half of
        // a pair (decodeName never makes such a sequence, but any text may hold it).
        const bool paired = i > 0 && text[i - 1].isHighSurrogate();
        if (isBidiControl(unit))
            appendMark(shown, unit);
        else if (replaceEscapes && isEscapedByte(unit) && !paired)
            shown.append(QChar::ReplacementCharacter);
        else
            shown.append(QChar(unit));
    }
    return shown;
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence starting at data[i], or 0 when it is not valid
// (truncated, overlong, a surrogate, beyond U+10FFFF, or a stray continuation byte).
qsizetype validSequenceLength(
    const unsigned char *data, qsizetype size, qsizetype i, char32_t &codePoint)
{
    const unsigned char lead = data[i];
    qsizetype length;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        if (!isContinuation(data[i + k]))
            return 0;
        codePoint = (codePoint << 6) | (data[i + k] & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString decodeName(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();

    // Fast path: plain ASCII widens byte for byte.
    qsizetype i = 0;
    while (i < size && data[i] < 0x80)
        ++i;
    if (i == size)
        return QString::fromLatin1(bytes.data(), size);

    QString text;
    text.reserve(size);
    text.append(QLatin1StringView(bytes.data(), i));
    while (i < size) {
        char32_t codePoint = 0;
        const qsizetype length = validSequenceLength(data, size, i, codePoint);
        if (length == 0) {
            text.append(QChar(char16_t(escapeBase + data[i])));
            ++i;
            continue;
        }
        if (codePoint >= 0x10000) {
            const char32_t v = codePoint - 0x10000;
            text.append(QChar(char16_t(0xD800 + (v >> 10))));
            text.append(QChar(char16_t(0xDC00 + (v & 0x3FF))));
        } else {
            text.append(QChar(char16_t(codePoint)));
        }
        i += length;
    }
    return text;
}

QByteArray encodeName(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 3);
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        char32_t codePoint = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < size && text[i + 1].isLowSurrogate()) {
            codePoint = 0x10000 + ((char32_t(unit) - 0xD800) << 10)
                + (char32_t(text[i + 1].unicode()) - 0xDC00);
            ++i;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            bytes.append(char(unit - escapeBase));
            continue;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            throw Failure::refused(EILSEQ,
                QCoreApplication::translate("platform", "Cannot use the name"), {text.toString()},
                QCoreApplication::translate(
                    "platform", "it holds a character that cannot be written in a file name"));
        }
        if (codePoint < 0x80) {
            bytes.append(char(codePoint));
        } else if (codePoint < 0x800) {
            bytes.append(char(0xC0 | (codePoint >> 6)));
            bytes.append(char(0x80 | (codePoint & 0x3F)));
        } else if (codePoint < 0x10000) {
            bytes.append(char(0xE0 | (codePoint >> 12)));
            bytes.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
            bytes.append(char(0x80 | (codePoint & 0x3F)));
        } else {
            bytes.append(char(0xF0 | (codePoint >> 18)));
            bytes.append(char(0x80 | ((codePoint >> 12) & 0x3F)));
            bytes.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
            bytes.append(char(0x80 | (codePoint & 0x3F)));
        }
    }
    return bytes;
}

bool hasEscapedBytes(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (unit >= 0xDC80 && unit <= 0xDCFF)
            return true;
    }
    return false;
}

QString displayName(const QString &text)
{
    return shownText(text, true);
}

QString markedName(const QString &name)
{
    return shownText(name, false);
}

QString editedName(const QString &original, const QString &edited)
{
    const QString shown = markedName(original);
    if (edited == shown)
        return original;
    const qsizetype limit = std::min(shown.size(), edited.size());
    qsizetype prefix = 0;
    while (prefix < limit && shown[prefix] == edited[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (prefix + suffix < limit
        && shown[shown.size() - 1 - suffix] == edited[edited.size() - 1 - suffix])
        ++suffix;
    // Whole units of the original only: a mark the user cut into is part of the changed text.
    qsizetype head = 0, headShown = 0;
    while (head < original.size() && headShown + markedLength(original[head].unicode()) <= prefix)
        headShown += markedLength(original[head++].unicode());
    qsizetype tail = 0, tailShown = 0;
    while (head + tail < original.size()
        && tailShown + markedLength(original[original.size() - 1 - tail].unicode()) <= suffix)
        tailShown += markedLength(original[original.size() - 1 - tail++].unicode());
    return original.left(head) + edited.mid(headShown, edited.size() - headShown - tailShown)
        + original.right(tail);
}

} // namespace platform
