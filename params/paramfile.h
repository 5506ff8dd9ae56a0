// Parameter files: the Convert group of a small INI file, saved and loaded
// from the File menu and read by the command line's --params, with one set of
// checks for all of them.
#pragma once

#include "app/inifile.h"
#include "projection/convertparams.h"

#include <QString>

struct ParamFileRead
{
    enum class Fault {
        None,
        Missing,
        NotSettings, // not a regular file, not text, or a line that is no setting
        NoParameters, // no [Convert] group, or an unreadable one
        NotANumber, // a value that is no number; the other values are read
        UnknownProjection, // a MapProjection other than the known names; read as written
    };
    Fault fault = Fault::None;
    ParamSet params;
    QString reason; // for a message after the file's name, in English
};
// The file's Convert group over `base`: a missing key keeps base's value.
ParamFileRead readParamFile(const QString &path, const ParamSet &base = ParamSet());

// Writes the Convert group, keeping the file's other groups; true when the
// file now holds every value. The caller has looked at the file's state: a
// file that is no settings file is never written, and one that is not UTF-8
// gets its .damaged copy first (false when none could be made).
bool writeParamFile(const QString &path, const ParamSet &params);
