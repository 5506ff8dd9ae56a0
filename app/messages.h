// The window's messages, each built in one place from the language table, so
// that a misplaced blank or bracket shows in one test rather than in one box.
#pragma once

#include "app/langtexts.h"

#include <QString>
#include <QStringList>

struct MapDetection;
struct SourceImage;

namespace Messages {

// Why an image did not open, in the table's language where it has a text.
QString loadFailure(const TextTable &texts, const SourceImage &opened);
// "<path> could not be opened (<why>)".
QString openError(const TextTable &texts, const QString &path, const SourceImage &opened);
QString unknownProjection(const TextTable &texts, const QString &name);
// The parameters give no image: the table's text, then the reason on a line of its own.
QString paramInvalid(const TextTable &texts, const QString &reason);
// The same for the status line, on one line.
QString paramInvalidLine(const TextTable &texts, const QString &reason);
// Margins the fields had to cut, with or without an image to bound them.
QString marginsCut(const TextTable &texts, const QStringList &cuts, bool haveImage);
// Which groups of values Detect read from the image and which it kept.
QString detectSources(const TextTable &texts, const MapDetection &found);
// "<text> (<reason>)", as failures name their cause.
QString withReason(const QString &text, const QString &reason);

} // namespace Messages
