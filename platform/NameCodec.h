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

// The same text for showing to a person: every escaped byte becomes U+FFFD, a visible glyph, and
// every bidirectional control character becomes a visible mark naming it (see markedName).
QString displayName(const QString &text);

// True when the text holds an escaped byte.
bool hasEscapedBytes(QStringView text);

// The text with each bidirectional control character (U+202A to U+202E, U+2066 to U+2069,
// U+200E, U+200F, U+061C) written as a visible mark such as "⟨U+202E⟩", so that a
// name cannot reorder how it reads ("invoice" U+202E "fdp.exe" would read "invoiceexe.pdf").
// Everything else, escaped bytes included, stays as it is: this is the form a name is edited in.
QString markedName(const QString &name);

// The exact name that edited, a text the user changed starting from markedName(original),
// stands for: what is unchanged at its start and at its end is the original's exact text, marks
// included; what the user changed in between is taken as typed.
QString editedName(const QString &original, const QString &edited);

} // namespace platform
