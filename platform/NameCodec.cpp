#include "platform/NameCodec.h"

#include "platform/Failure.h"

#include <QCoreApplication>

#include <cerrno>

namespace platform {

namespace {

constexpr char16_t escapeBase = 0xDC00;

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
    if (!hasEscapedBytes(text))
        return text;
    QString shown = text;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t unit = shown[i].unicode();
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < shown.size()
            && shown[i + 1].isLowSurrogate())
            ++i;
        else if (unit >= 0xDC80 && unit <= 0xDCFF)
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

} // namespace platform
