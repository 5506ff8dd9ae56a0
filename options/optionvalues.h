// The output settings that the options dialog edits, and the range rules that
// decide whether it may close with them. Free of widgets so the rules can be
// checked with plain values.
#pragma once

#include <QList>
#include <QString>

struct OptionValues
{
    int outputWidth = 0;
    int outputHeight = 0;
    int quality = 85;
    int formatIndex = 0; // 0 JPG, 1 PNG
    QString penColor = QStringLiteral("#FFFF0000");
    int penWidth = 3;
    int resampling = 0; // 0 nearest, 1 bilinear, 2 bicubic, 3 Lanczos-3
    bool poleFill = false;
};

// What the dialog's default button offers.
OptionValues optionDefaults();

enum class OptionField { OutputWidth, OutputHeight, Quality, PenWidth };

// Base 10 only; anything that is not a whole number (empty, "2048.0", "0x800")
// reads as 0, which every range rejects.
int parseOptionInt(const QString &text);

// Fields outside their inclusive range, in the order they are checked. The
// format index and the pen colour are never rejected.
QList<OptionField> failingOptionFields(const OptionValues &values);

struct AppSettings;
// The settings' values as the dialog shows them, and back.
OptionValues optionValuesFrom(const AppSettings &settings);
void applyOptionValues(const OptionValues &values, AppSettings &settings);
