// File names are bytes. A name that is not valid in the locale's encoding
// (a Latin-1 "café" on a UTF-8 system) must still open, list and convert like
// any other, so each byte that does not decode stands for itself as a lone
// surrogate (U+DC80 to U+DCFF) and encodes back to the same byte.
#pragma once

#include <QString>

namespace FileNames {

// Makes the locale codec round-trip every byte when it is UTF-8; before the
// first file name or argument is decoded.
void installRoundTripCodec();

// The text with each byte that stood for itself written as \xNN, for a
// terminal or a message.
QString shown(const QString &text);

} // namespace FileNames
