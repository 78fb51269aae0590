#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace platform {

// File names on Linux are bytes; the program works with text. This codec maps every byte string
// to a text and back without loss: valid UTF-8 decodes as usual, and each byte of an invalid
// sequence becomes the lone surrogate U+DC80 + byte (the "surrogateescape" convention), which
// encodes back to that byte.

QString decodeName(QByteArrayView bytes);

// Throws Failure (EILSEQ) for a text holding an unpaired surrogate that no byte maps to.
QByteArray encodeName(QStringView text);

// The same text for showing to a person: every escaped byte becomes U+FFFD, a visible glyph.
QString displayName(const QString &text);

// True when the text holds an escaped byte (so displayName would change it).
bool hasEscapedBytes(QStringView text);

} // namespace platform
