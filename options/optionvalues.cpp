#include "options/optionvalues.h"

#include "app/settingsstore.h"

namespace {

bool inRange(int value, int low, int high)
{
    return value >= low && value <= high;
}

} // namespace

OptionValues optionDefaults()
{
    OptionValues v;
    v.outputWidth = 2048;
    v.outputHeight = 1024;
    v.quality = 85;
    v.formatIndex = 0;
    v.penColor = QStringLiteral("#FFFF0000");
    v.penWidth = 3;
    v.resampling = 0;
    v.poleFill = false;
    return v;
}

int parseOptionInt(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

QList<OptionField> failingOptionFields(const OptionValues &values)
{
    QList<OptionField> failing;
    if (!inRange(values.outputWidth, 1024, 8192))
        failing << OptionField::OutputWidth;
    if (!inRange(values.outputHeight, 1024, 8192))
        failing << OptionField::OutputHeight;
    if (!inRange(values.quality, 1, 100))
        failing << OptionField::Quality;
    if (!inRange(values.penWidth, 1, 32))
        failing << OptionField::PenWidth;
    return failing;
}

OptionValues optionValuesFrom(const AppSettings &settings)
{
    OptionValues values;
    values.outputWidth = settings.outputSizeX;
    values.outputHeight = settings.outputSizeY;
    values.quality = settings.outputQuality;
    values.formatIndex = settings.outputFormat;
    values.penWidth = settings.penSize;
    values.penColor = settings.penColor.name(QColor::HexArgb);
    values.resampling = settings.resampling;
    values.poleFill = settings.poleFill == 1;
    return values;
}

void applyOptionValues(const OptionValues &values, AppSettings &settings)
{
    settings.outputSizeX = values.outputWidth;
    settings.outputSizeY = values.outputHeight;
    settings.outputQuality = values.quality;
    settings.outputFormat = values.formatIndex;
    settings.penSize = values.penWidth;
    settings.penColor.setNamedColor(values.penColor);
    settings.resampling = values.resampling;
    settings.poleFill = values.poleFill ? 1 : 0;
}
