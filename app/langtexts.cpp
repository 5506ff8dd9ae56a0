#include "langtexts.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <initializer_list>
#include <utility>

namespace LangTexts {

namespace {

QStringList keysOf(const TextDefaults &texts)
{
    QStringList keys;
    keys.reserve(texts.size());
    for (const auto &entry : texts)
        keys.append(entry.first);
    return keys;
}

TextDefaults makeTexts(std::initializer_list<std::pair<const char *, const char *>> entries)
{
    TextDefaults texts;
    texts.reserve(int(entries.size()));
    for (const auto &entry : entries)
        texts.append(qMakePair(QString::fromUtf8(entry.first), QString::fromUtf8(entry.second)));
    return texts;
}

// An unquoted comma makes the INI reader return a list, and other notations
// other types; none of them is a text.
QString textValue(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    return value.type() == QVariant::String ? value.toString() : QString();
}

} // namespace

const TextDefaults &mainWidgetTexts()
{
    static const TextDefaults texts = makeTexts({
        { "lbl_1", "1) 画像を開く" },
        { "labelOpenFile", "1) 画像を開く" },
        { "lbl_3", "3) 変換結果をプレビューウィンドウで確認" },
        { "lbl_4", "4) 変換結果をファイルへ保存" },
        { "lbl_4_2", "保存ファイル名" },
        { "btn_open", "開く" },
        { "btn_preview", "プレビュー表示／非表示" },
        { "btn_conv", "変換して保存" },
        { "btn_browse", "フォルダ選択" },
        { "menu_file", "ファイル" },
        { "menu_show", "表示" },
        { "cmd_load_param", "座標変換情報の読込..." },
        { "cmd_save_param", "座標変換情報の保存..." },
        { "cmd_reset_param", "座標変換情報のリセット" },
        { "cmd_batch_conv", "複数ファイルをまとめて変換" },
        { "cmd_setting", "その他の設定..." },
        { "cmd_preview_window", "プレビューウィンドウ" },
        { "cmd_auto_preview", "オートプレビュー" },
        { "cmd_auto_size", "自動拡大縮小" },
        // The texts of step 2 and the rest of the window.
        { "lbl_2", "2) 座標変換の情報を設定" },
        { "btn_reset", "リセット" },
        { "lbl_2_1", "2-1) 画像内の、変換したい領域の範囲" },
        { "lbl_margin_top", "上余白" },
        { "lbl_margin_left", "左余白" },
        { "lbl_margin_right", "右余白" },
        { "lbl_margin_bottom", "下余白" },
        { "lbl_frame_line", "枠線" },
        { "lbl_2_2", "2-2) 変換前の地図投影法" },
        { "lbl_2_3", "2-3) 変換領域の端の緯度・経度\n    （緯度-90～+90, 経度-180～+180）" },
        { "lbl_lat_max", "上端の緯度" },
        { "lbl_lon_min", "左端の経度" },
        { "lbl_lon_max", "右端の経度" },
        { "lbl_lat_min", "下端の緯度" },
        { "lbl_loaded_file", "（読み込んだ画像のファイル名がここに表示されます）" },
        { "cmd_convert_save", "変換して保存" },
        { "btn_detect", "自動検出" },
        { "cmd_detect", "変換領域の自動検出" },
    });
    return texts;
}

const TextDefaults &batchWidgetTexts()
{
    static const TextDefaults texts = makeTexts({
        { "lbl_1", "複数の画像を一括変換します（座標変換情報は現在の設定を使用）" },
        { "lbl_2", "入力ファイル　（複数ファイル、又はフォルダを選択）" },
        { "lbl_3", "入力ファイル　（処理順番を選択）" },
        { "lbl_4", "出力ファイル" },
        { "lbl_5", "出力ファイル名" },
        { "btn_file", "ファイル選択" },
        { "btn_folder", "フォルダ選択" },
        { "btn_output", "フォルダ選択" },
        { "btn_convert", "画像変換開始" },
        { "btn_cancel", "キャンセル" },
        { "btn_sort1", "ファイル名(昇順)" },
        { "btn_sort2", "更新日（降順）" },
        { "btn_filename1", "入力ファイル名と同じ" },
        { "btn_filename2", "連番ファイル：map_0, map_1, ..." },
        { "title", "Orbilux 画像変換ツール（複数画像ファイル変換）" },
        { "chk_overwrite", "出力ファイルを上書きする" },
        { "chk_open_filer", "変換後、出力フォルダをファイルブラウザで開く" },
        { "chk_auto_detect", "各画像の変換領域を自動検出" },
    });
    return texts;
}

const TextDefaults &configWidgetTexts()
{
    static const TextDefaults texts = makeTexts({
        { "lbl_2", "画像変換後のピクセルサイズ\n(1024x1024 - 8192x8192)" },
        { "lbl_3", "画像形式" },
        { "lbl_3_2", "JPG画質 (1-100)" },
        { "lbl_4", "選択枠の色\n( #AARRGGBB )" },
        { "lbl_4_2", "選択枠の太さ\n(1 - 32)" },
        { "lbl_5", "補間方法" },
        { "chk_pole_fill", "極の空白を地図の端の色で塗る" },
        { "btn_default", "初期値" },
        { "btn_cancel", "キャンセル" },
        { "title", "Orbilux 画像変換ツール（設定）" },
        { "btn_ok", "OK" },
    });
    return texts;
}

const QStringList &mainWidgetKeys()
{
    static const QStringList keys = keysOf(mainWidgetTexts());
    return keys;
}

const TextDefaults &mainTableDefaults()
{
    static const TextDefaults texts = makeTexts({
        { "title", "Orbilux 画像変換ツール: Plano-Miller" },
        { "file_filter", "画像ファイル (*.gif *.png *.jpg)" },
        { "open_file", "変換したい画像ファイルを選択して下さい" },
        { "opened_file", "変換元の画像ファイル" },
        { "open_error", " は開けませんでした" },
        { "overwrite_question",
            " は既にファイルが存在します。\nファイルを上書きしますか？\n"
            "（上書する前のファイルには戻せません）" },
        { "saved_file", " へ保存されました" },
        { "inifile_filter", "選択範囲情報 (*.ini)" },
        { "save_inifile", "選択範囲情報をファイルへ保存します、ファイル名を指定して下さい" },
        { "save_inifile_title", "選択範囲情報の保存" },
        { "load_inifile", "選択範囲情報をファイルから読み込みます、ファイル名を指定して下さい" },
        { "batch_btn_stop", "中止" },
        { "batch_success", "複数画像ファイル変換が終了しました" },
        { "batch_fail1", "複数画像ファイル変換は失敗しました\n(" },
        { "batch_fail2", "個成功, " },
        { "batch_fail3", "個失敗)" },
        { "save_image_title", "画像変換後のファイルを保存するフォルダ名を指定して下さい" },
        { "preview_window_title", "Orbilux 画像変換ツール: Plano-Miller （プレビュー）" },
        // The preview window's menu: the flat picture or the globe, and saving the globe.
        { "preview_menu", "表示" },
        { "preview_flat", "平面" },
        { "preview_globe", "地球儀" },
        { "preview_graticule", "経緯線 (30°ごと)" },
        { "preview_save_view", "表示中の地球儀を PNG で保存..." },
        { "preview_png_filter", "PNG 画像 (*.png)" },
        { "map_proj_miller", "ミラー図法" },
        { "map_proj_mercator", "メルカトル図法" },
        { "map_proj_equirectangular", "正距円筒図法" },
        { "map_proj_robinson", "ロビンソン図法" },
        { "map_proj_winkel-tripel", "ヴィンケル図法" },
        { "map_proj_mollweide", "モルワイデ図法" },
        { "map_proj_equal-earth", "イコールアース図法" },
        { "map_proj_natural-earth", "ナチュラルアース図法" },
        { "map_proj_eckert4", "エケルト第4図法" },
        { "map_proj_kavrayskiy7", "カブライスキー第7図法" },
        { "map_proj_gall-stereographic", "ゴール図法" },
        { "map_proj_gall-peters", "ゴール・ペータース図法" },
        { "map_proj_behrmann", "ベールマン図法" },
        // Messages for faults the tool refuses instead of losing work.
        { "unknown_projection",
            " は不明な地図投影法です。\"miller\" か \"mercator\" を選んで下さい" },
        { "no_save_folder",
            "保存先のフォルダが指定されていません。「フォルダ選択」で指定して下さい" },
        { "save_param_failed", " へ保存できませんでした" },
        { "param_file_empty", " には座標変換情報 ([Convert]) がありません" },
        { "batch_no_output_folder",
            "出力フォルダが指定されていません。「フォルダ選択」で指定して下さい" },
        { "settings_write_failed", " に設定を保存できませんでした" },
        { "settings_unusable", " の設定は使えませんでした" },
        { "param_invalid", "この座標変換情報では変換できる範囲がありません" },
        { "param_file_not_text",
            " は座標変換情報のファイルではありません (テキストではないため保存しません)" },
        { "param_file_not_utf8",
            " は UTF-8 のテキストではありません。保存すると読めない文字が失われます。\n"
            "元のファイルを .damaged として残して保存しますか？" },
        { "save_failed", " への保存が失敗しました" },
        { "batch_progress_title", "複数画像ファイル変換中" },
        // Why an image did not open; %1 is its size, %2 the pixel limit.
        { "load_missing", "ファイルがありません" },
        { "load_not_image", "読み込める画像ではありません" },
        { "load_too_large", "画像が大きすぎます（%1、上限 %2 ピクセル）" },
        { "load_damaged", "画像が壊れているか途中で切れています" },
        { "load_no_memory", "%1 の画像を開くメモリが足りません" },
        // The language menu: a language file names its language; the toolkit's
        // own texts (buttons of message boxes, file dialogs) follow locale.
        { "language_name", "日本語" },
        { "locale", "ja" },
        { "language_restart", "表示言語は次回の起動時に切り替わります" },
        { "detect_failed", "地図の領域が見つかりませんでした" },
        // After Detect: %1 the groups read from the image, %2 those kept.
        { "detect_done", "自動検出で読み取った値: %1 ／ 元のままの値: %2" },
        { "detect_margins", "余白" },
        { "detect_projection", "投影法と緯度" },
        { "detect_longitudes", "経度" },
        { "detect_none", "なし" },
        // %1 names each margin cut: its label, the value wanted and the value set.
        { "margins_cut", "画像に収まらない余白を切り詰めました: %1" },
        { "margins_cut_no_image", "画像を開くまで余白は 1024 までです。切り詰めました: %1" },
        // The end of a batch run: %1 converted, %2 failed; stopped: %1 of %2
        // converted, %3 not converted.
        { "batch_counts", "%1 個変換, %2 個失敗" },
        { "batch_stopped",
            "複数画像ファイル変換を中止しました\n%2 個中 %1 個を変換, %3 個は未変換" },
    });
    return texts;
}

const QStringList &batchWidgetKeys()
{
    static const QStringList keys = keysOf(batchWidgetTexts());
    return keys;
}

const TextDefaults &batchTableDefaults()
{
    static const TextDefaults texts = makeTexts({
        { "file_filter", "画像ファイル (*.gif *.png *.jpg)" },
        { "file_open_title", "変換するファイルを選択して下さい" },
        { "file_selected", " 個のファイルが選択されました" },
        { "folder_open_title", "変換するファイルが含まれるフォルダを選択して下さい" },
        { "output_open_title", "変換後のファイルを保存するフォルダを選択して下さい" },
    });
    return texts;
}

const QStringList &configWidgetKeys()
{
    static const QStringList keys = keysOf(configWidgetTexts());
    return keys;
}

const TextDefaults &configTableDefaults()
{
    static const TextDefaults texts = makeTexts({
        { "error_mess", "範囲内で入力して下さい" },
        { "resampling_nearest", "最近傍" },
        { "resampling_bilinear", "バイリニア" },
        { "resampling_bicubic", "バイキュービック" },
        { "resampling_lanczos", "ランチョス3" },
    });
    return texts;
}

void readGroup(const QString &langFile, const QString &group, const QStringList &widgetKeys,
    const TextDefaults &tableDefaults,
    const std::function<void(const QString &key, const QString &text)> &applyWidgetText,
    TextTable &table)
{
    // Nothing to read: an empty name is not handed to QSettings at all.
    const bool haveFile = !langFile.isEmpty() && QFileInfo(langFile).isFile();
    if (!haveFile) {
        for (const auto &entry : tableDefaults)
            table.insert(entry.first, entry.second);
        return;
    }

    QSettings settings(langFile, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.beginGroup(group);
    for (const QString &key : widgetKeys) {
        const QString text = textValue(settings, key);
        if (!text.isEmpty() && applyWidgetText)
            applyWidgetText(key, text);
    }
    for (const auto &entry : tableDefaults) {
        const QString text = textValue(settings, entry.first);
        table.insert(entry.first, text.isEmpty() ? entry.second : text);
    }
    settings.endGroup();
}

} // namespace LangTexts
