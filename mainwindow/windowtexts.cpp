#include "mainwindow/windowtexts.h"

namespace {

// Language keys and the objects that show their texts.
const char *const kTextTargets[][2] = {
    { "lbl_1", "labelOpenFile" },
    { "labelOpenFile", "labelOpenFile" },
    { "lbl_3", "labelPreview" },
    { "lbl_4", "labelSaveFile" },
    { "lbl_4_2", "labelSaveFileName" },
    { "btn_open", "btnImageRead" },
    { "btn_preview", "btnPreview" },
    { "btn_conv", "btnConvert" },
    { "btn_browse", "btnBrowse" },
    { "menu_file", "menuFile" },
    { "menu_show", "menuView" },
    { "cmd_load_param", "actionLoad_Param" },
    { "cmd_save_param", "actionSave_Param" },
    { "cmd_reset_param", "actionParam_Reset" },
    { "cmd_batch_conv", "actionBatch_Convert" },
    { "cmd_setting", "actionSetting" },
    { "cmd_preview_window", "actionPreview_Window" },
    { "cmd_auto_preview", "actionAuto_Preview" },
    { "cmd_auto_size", "actionAuto_Size" },
    { "lbl_2", "labelReset" },
    { "btn_reset", "btnReset" },
    { "lbl_2_1", "labelSetMargin" },
    { "lbl_margin_top", "labelMarginTop" },
    { "lbl_margin_left", "labelMarginLeft" },
    { "lbl_margin_right", "labelMarginRight" },
    { "lbl_margin_bottom", "labelMarginBottom" },
    { "lbl_frame_line", "labelFrameLine" },
    { "lbl_2_2", "labelSetMapProj" },
    { "lbl_2_3", "labelSetLonLat" },
    { "lbl_lat_max", "labelLatMax" },
    { "lbl_lon_min", "labelLonMin" },
    { "lbl_lon_max", "labelLonMax" },
    { "lbl_lat_min", "labelLatMin" },
    { "cmd_convert_save", "actionConvert_Save" },
    // Shown until an image is opened; loadTexts runs before that.
    { "lbl_loaded_file", "labelLoadedFilename" },
    { "btn_detect", "btnDetect" },
    { "cmd_detect", "actionDetect" },
};

} // namespace

TextTargets mainWindowTextTargets(QObject *window)
{
    TextTargets targets;
    for (const auto &target : kTextTargets)
        targets.insert(
            QLatin1String(target[0]), window->findChild<QObject *>(QLatin1String(target[1])));
    return targets;
}
