#include "params/paramfile.h"

#include <QFileInfo>
#include <QSettings>

ParamFileRead readParamFile(const QString &path, const ParamSet &base)
{
    ParamFileRead read;
    read.params = base;
    auto fail = [&read](ParamFileRead::Fault fault, const QString &reason) {
        read.fault = fault;
        read.reason = reason;
        return read;
    };
    if (!QFileInfo::exists(path))
        return fail(ParamFileRead::Fault::Missing, QStringLiteral("no such file: ") + path);
    // A FIFO would never end, and an image or notes file holds no parameters.
    const QString refusal = checkIniFile(path).refusal(path);
    if (!refusal.isEmpty())
        return fail(ParamFileRead::Fault::NotSettings, refusal);
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.beginGroup(QStringLiteral("Convert"));
    const bool empty = settings.childKeys().isEmpty();
    settings.endGroup();
    if (settings.status() != QSettings::NoError || empty)
        return fail(
            ParamFileRead::Fault::NoParameters, path + QStringLiteral(" holds no [Convert] group"));
    QStringList problems;
    read.params.readConvertGroup(settings, &problems);
    if (!problems.isEmpty())
        return fail(ParamFileRead::Fault::NotANumber,
            QStringLiteral("in %1, %2").arg(path, problems.first()));
    if (!projectionList().contains(read.params.projection)) {
        return fail(ParamFileRead::Fault::UnknownProjection,
            QStringLiteral("unknown MapProjection \"%1\" in %2").arg(read.params.projection, path));
    }
    return read;
}

bool writeParamFile(const QString &path, const ParamSet &params)
{
    const IniFileState state = iniFileState(path);
    if (state == IniFileState::NotText || state == IniFileState::NotSettings
        || state == IniFileState::NotRegular)
        return false;
    if (state == IniFileState::NotUtf8 && keepDamagedCopy(path).isEmpty())
        return false;
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    params.writeConvertGroup(settings);
    return syncAndCheck(settings, { QStringLiteral("Convert") });
}
