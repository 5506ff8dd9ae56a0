#include "mainwindow/openstep.h"

#include "imageio/outputnaming.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QScreen>
#include <QUrl>

namespace OpenStep {

QString askImageFile(QWidget *parent, const TextTable &texts, const QString &current)
{
    QFileDialog dialog(parent, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(
        imageNameFilter(texts[QStringLiteral("file_filter")], readableImageSuffixes()));
    dialog.setDirectory(QFileInfo(current).absolutePath());
    dialog.setWindowTitle(texts[QStringLiteral("open_file")]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

QStringList droppedImages(const QMimeData *mime)
{
    QStringList paths;
    for (const QUrl &url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty() || !isImageSuffix(path))
            return QStringList();
        paths << path;
    }
    return paths;
}

SourceImage openWithBusyCursor(const QString &path, qint64 maxPixels)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SourceImage opened = loadSourceImage(path, maxPixels);
    QApplication::restoreOverrideCursor();
    return opened;
}

PreviewImage firstView(const QString &path, qint64 maxPixels)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    const qint64 pixels = qint64(size.width()) * size.height();
    if (reader.format() != "jpeg" || pixels <= kFirstViewPixels || pixels > maxPixels)
        return PreviewImage();
    int screenWidth = 0;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        screenWidth = qRound(screen->size().width() * screen->devicePixelRatio());
    return loadPreviewImage(path, qMax(2048, screenWidth), maxPixels);
}

} // namespace OpenStep
