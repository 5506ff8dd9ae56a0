// "plano-miller /detect IMAGE" (or --detect IMAGE, --detect=IMAGE): finds the
// map area of one image and prints it as a parameter file, without a window.
#pragma once

#include "app/commandline.h"
#include "projection/convertparams.h"

#include <QString>
#include <QStringList>

namespace DetectCommand {

struct Outcome
{
    int exitCode = 1;
    QString out; // the parameter file, when found
    QString err; // one line about what was found, or why not
};
// The settings file's Convert group supplies the projection and box the
// shape does not name, and its MaxImagePixels the size limit.
Outcome run(const QString &image, const CommandLine::Paths &paths);

// Group Convert with its nine keys, as the parameter-file loader reads it.
QString parameterFileText(const ParamSet &params);

} // namespace DetectCommand
