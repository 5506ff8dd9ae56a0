// "plano-miller --batch [--ini=FILE] [OVERRIDES] FILES": converts without a
// window or a display, with the settings file's output options and
// parameters, the run's overrides over them, progress and a summary line by
// line, and the exit status.
#pragma once

#include "app/commandline.h"
#include "batch/batchrun.h"

#include <QString>

#include <functional>

struct AppSettings;

namespace BatchCommand {

// The settings file's output options and parameters as a batch takes them.
BatchOptions optionsFrom(const AppSettings &settings);

// 0 when every file converted or there was nothing to do; 1 when a file
// failed, a pattern matched nothing or the run was refused for a value; 2
// when the settings file is no settings file. A refused run writes nothing,
// the settings file included; any other run stores the settings afterwards.
int run(const CommandLine::Options &options, const CommandLine::Paths &paths,
    const std::function<void(const QString &line)> &print);

} // namespace BatchCommand
