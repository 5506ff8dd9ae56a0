#include "app/messages.h"

#include "detection/mapdetect.h"
#include "imageio/imageload.h"

namespace Messages {

namespace {

QString sizeText(const QSize &size)
{
    return QStringLiteral("%1 \u00d7 %2").arg(size.width()).arg(size.height());
}

} // namespace

QString loadFailure(const TextTable &texts, const SourceImage &opened)
{
    switch (opened.fault) {
    case LoadFault::Missing:
        return texts[QStringLiteral("load_missing")];
    case LoadFault::NotImage:
        return texts[QStringLiteral("load_not_image")];
    case LoadFault::TooLarge:
        return texts[QStringLiteral("load_too_large")].arg(sizeText(opened.size)).arg(opened.limit);
    case LoadFault::Damaged:
        return texts[QStringLiteral("load_damaged")];
    case LoadFault::NoMemory:
        return texts[QStringLiteral("load_no_memory")].arg(sizeText(opened.size));
    case LoadFault::None:
    case LoadFault::NotRegular:
    case LoadFault::Other:
        break;
    }
    return opened.error;
}

QString openError(const TextTable &texts, const QString &path, const SourceImage &opened)
{
    return withReason(path + texts[QStringLiteral("open_error")], loadFailure(texts, opened));
}

QString unknownProjection(const TextTable &texts, const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"') + texts[QStringLiteral("unknown_projection")];
}

QString paramInvalid(const TextTable &texts, const QString &reason)
{
    return texts[QStringLiteral("param_invalid")] + QStringLiteral("\n(") + reason
        + QLatin1Char(')');
}

QString paramInvalidLine(const TextTable &texts, const QString &reason)
{
    return withReason(texts[QStringLiteral("param_invalid")], reason);
}

QString marginsCut(const TextTable &texts, const QStringList &cuts, bool haveImage)
{
    const QString key
        = haveImage ? QStringLiteral("margins_cut") : QStringLiteral("margins_cut_no_image");
    return texts[key].arg(cuts.join(QStringLiteral(", ")));
}

QString detectSources(const TextTable &texts, const MapDetection &found)
{
    const QPair<MapDetection::Group, const char *> groups[] = {
        { MapDetection::Group::Margins, "detect_margins" },
        { MapDetection::Group::ProjectionAndLatitudes, "detect_projection" },
        { MapDetection::Group::Longitudes, "detect_longitudes" },
    };
    QStringList read;
    QStringList kept;
    for (const auto &group : groups)
        (found.read(group.first) ? read : kept) << texts[QLatin1String(group.second)];
    const QString none = texts[QStringLiteral("detect_none")];
    const QString comma = QStringLiteral(", ");
    return texts[QStringLiteral("detect_done")].arg(
        read.isEmpty() ? none : read.join(comma), kept.isEmpty() ? none : kept.join(comma));
}

QString withReason(const QString &text, const QString &reason)
{
    return text + QStringLiteral(" (") + reason + QLatin1Char(')');
}

} // namespace Messages
