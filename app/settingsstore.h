// The settings file: window geometry, view switches, pen, folders, batch and
// output options and the last conversion parameters, read once at start and
// written once at close. Kept apart from the window so tests read and write it
// without one.
#pragma once

#include "projection/convertparams.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringList>

struct AppSettings
{
    // "GUI"
    QByteArray geometry;
    QByteArray previewGeometry;
    bool previewWindow = false;
    bool autoPreview = false;
    // "PreviewMode": the preview shows the globe ("globe") or the flat picture
    // ("flat"); a file without it, or with any other value, gets the flat one.
    bool previewGlobe = false;
    bool autoSize = true;
    int penSize = 3;
    QColor penColor = QColor(255, 0, 0, 255);
    // Chosen in the View menu, applied at the next start: "ja" the built-in
    // texts, else a language file's name before "_lang.ini"; empty: no choice.
    QString language;

    // "IO"
    QString loadFilePath;
    QString saveBaseName; // written as SaveFileName with the output suffix; never read back
    QString saveFolderName;
    QString batchInputFolder;
    QString batchOutputFolder;
    int batchInputFileSortType = 0;
    int batchOutputFileNameType = 0;
    int outputSizeX = 2048;
    int outputSizeY = 1024;
    int outputFormat = 0;
    int outputQuality = 85;
    bool overwrite = true;
    bool openFiler = true;
    // A batch finds each file's map area itself instead of using the margins.
    bool batchAutoDetect = false;
    // Images whose 32-bit decode would hold more pixels are refused unopened.
    qint64 maxImagePixels = qint64(1) << 29;
    // 0 nearest, 1 bilinear, 2 bicubic, 3 Lanczos-3; anything else reads as 0.
    int resampling = 0;
    // 0 leaves the rows beyond the map's latitudes transparent, 1 fills them
    // with the colour of the map's edge row; anything else reads as 0.
    int poleFill = 0;

    // "Convert"; a missing key keeps the value held here.
    ParamSet params;

    // Reads the file over the current values; appDir replaces "%%SAMPLE%%".
    // Of a file the reader cannot fully parse, or that is not UTF-8, a copy is
    // kept beside it (".damaged") before the next save replaces it. A path
    // that is no settings file (not a regular file, not text, a line that is
    // no setting) is not read and is left alone: fileRefusal says why. A value
    // that is no boolean or number keeps its default and is named in
    // badValues. loadProblem says all of it in one sentence.
    void load(const QString &path, const QString &appDir);
    QString loadProblem;
    QString fileRefusal;
    QStringList badValues;
    // The file must not be written: it is no settings file, or no copy of its
    // unreadable content could be kept.
    bool leftAlone = false;
    // Writes all three groups, keeping keys the program does not know. Returns
    // false with a message in *error when the file could not be written; the
    // old file then stays whole.
    bool save(const QString &path, QString *error = nullptr) const;

    static QString samplePath(const QString &appDir);
};
