// Helpers shared by the test executables: files and folders, INI files written
// and read independently of the program's own code, generated images, overlay
// pixels, mouse events, the modal dialog driver and a main window harness.
#pragma once

#include "mainwindow/mainwindow.h"
#include "mainwindow/sourceview.h"
#include "mainwindow/overlay.h"
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

// Files and folders.

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString makeFolder(const QString &parent, const QString &name)
{
    QDir(parent).mkpath(name);
    return parent + QLatin1Char('/') + name;
}

// One temporary folder for a whole test class, with a fresh subfolder per call.
class ScratchDir
{
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString newFolder(const QString &name)
    {
        return makeFolder(m_dir.path(), QStringLiteral("%1-%2").arg(++m_count).arg(name));
    }

private:
    QTemporaryDir m_dir;
    int m_count = 0;
};

// INI files, through QSettings rather than the program's own readers and writers.

// Keys are "Group/Key".
inline void writeIni(const QString &path, const QVariantMap &values)
{
    QSettings ini(path, QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        ini.setValue(it.key(), it.value());
    ini.sync();
}

inline QVariant iniValue(const QString &path, const QString &key)
{
    QSettings ini(path, QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    return ini.value(key);
}

// Images and conversions.

inline QImage filledImage(int w, int h, const QColor &fill = Qt::white)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// The path, or an empty string when the image could not be written.
inline QString writeImage(
    const QString &path, int w, int h, const QColor &fill = Qt::white, const char *format = nullptr)
{
    return filledImage(w, h, fill).save(path, format) ? path : QString();
}

enum class RandomAlpha {
    Opaque,
    Any,
    // A quarter of the pixels fully transparent, the rest anything.
    SomeClear,
};

inline QImage randomImage(int w, int h, quint32 seed, RandomAlpha alpha)
{
    QRandomGenerator rng(seed);
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const quint32 v = rng.generate();
            int a = 255;
            if (alpha == RandomAlpha::Any)
                a = int(v >> 24);
            else if (alpha == RandomAlpha::SomeClear)
                a = (v >> 24) % 4 == 0 ? 0 : int(v >> 24);
            line[x] = qRgba(int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff), a);
        }
    }
    return img;
}

inline QImage loadArgb(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

inline ParamSet makeParams(int left, int right, int bottom, int top,
    const QString &projection = QStringLiteral("miller"), double lonMin = -180.0,
    double lonMax = 180.0, double latMin = -90.0, double latMax = 90.0)
{
    ParamSet p;
    p.marginLeft = left;
    p.marginRight = right;
    p.marginBottom = bottom;
    p.marginTop = top;
    p.projection = projection;
    p.lonMin = lonMin;
    p.lonMax = lonMax;
    p.latMin = latMin;
    p.latMax = latMax;
    return p;
}

// The straightforward computation: the loaded file as 32-bit ARGB, remapped
// pixel by pixel into a transparent target.
inline QImage referenceOutput(const QString &input, const ParamSet &params, QSize size,
    Resampling method = Resampling::Nearest)
{
    QImage source(input);
    if (source.isNull())
        return QImage();
    source = source.convertToFormat(QImage::Format_ARGB32);
    ProjectionConverter converter;
    if (!params.applyTo(converter))
        return QImage();
    QImage target(size, QImage::Format_ARGB32);
    target.fill(0);
    converter.setResampling(method);
    converter.remapReference(source, target);
    return target;
}

// The overlay as painted pixels, with a red pen.

inline bool isRed(QRgb p)
{
    return qAlpha(p) == 255 && qRed(p) == 255 && qGreen(p) == 0 && qBlue(p) == 0;
}

inline int redInColumn(const QImage &image, int x, int y0, int y1)
{
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        n += isRed(image.pixel(x, y));
    return n;
}

inline int redInRow(const QImage &image, int y, int x0, int x1)
{
    int n = 0;
    for (int x = x0; x <= x1; ++x)
        n += isRed(image.pixel(x, y));
    return n;
}

inline int redPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        n += redInRow(image, y, 0, image.width() - 1);
    return n;
}

// Columns strictly inside the frame that carry a dotted line: a crossing line
// leaves a few red pixels in a column, a line of its own a good share of it.
inline QList<int> lineColumns(const QImage &image, const QRect &frame)
{
    QList<int> found;
    const int span = frame.height() - 2;
    for (int x = frame.left() + 1; x < frame.right(); ++x)
        if (redInColumn(image, x, frame.top() + 1, frame.bottom() - 1) > span / 10)
            found << x;
    return found;
}

inline QList<int> lineRows(const QImage &image, const QRect &frame)
{
    QList<int> found;
    const int span = frame.width() - 2;
    for (int y = frame.top() + 1; y < frame.bottom(); ++y)
        if (redInRow(image, y, frame.left() + 1, frame.right() - 1) > span / 10)
            found << y;
    return found;
}

// Widgets and mouse events.

template <typename T> T *child(const QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

inline void sendMouse(
    QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

inline void sendPress(QWidget *w, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
    Qt::MouseButtons held = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonPress, pos, button, held);
}

inline void sendMove(QWidget *w, QPoint pos, Qt::MouseButtons held = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, held);
}

inline void sendRelease(QWidget *w, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
    Qt::MouseButtons held = Qt::NoButton)
{
    sendMouse(w, QEvent::MouseButtonRelease, pos, button, held);
}

// Answers whatever the code under test opens modally, polling from whichever
// event loop is running. Message boxes are recorded and answered from a queue
// of buttons (then the default button, then the first). Other modal widgets
// go to the steps in order, each once the active modal widget is what the step
// waits for; one left without a step is rejected and named in unexpected, so a
// fault cannot hang the run.
class ModalDriver : public QObject
{
public:
    using Match = std::function<bool(QWidget *)>;
    using Act = std::function<void(QWidget *)>;

    struct Box
    {
        QString text;
        QString title;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        int buttonCount;
        QWidget *parent;
    };

    ModalDriver()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
        m_timer.start(10);
    }

    void then(Match match, Act act) { m_steps.append({ std::move(match), std::move(act) }); }
    void then(QWidget *target, Act act)
    {
        then([target](QWidget *w) { return w == target; }, std::move(act));
    }
    void then(Act act) { then(Match(), std::move(act)); }
    void answerBox(QMessageBox::StandardButton button) { m_answers << button; }
    int stepsLeft() const { return m_steps.size(); }

    QList<Box> boxes;
    QStringList unexpected;
    // Runs as each box is recorded, while the code that opened it waits.
    std::function<void()> onBox;

private:
    struct Step
    {
        Match match;
        Act act;
    };

    void poll()
    {
        if (m_busy)
            return;
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        QPointer<QWidget> target(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxes.append({ box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
                box->standardButton(box->defaultButton()), int(box->buttons().size()),
                box->parentWidget() });
            if (onBox)
                onBox();
            const QMessageBox::StandardButton answer
                = m_answers.isEmpty() ? QMessageBox::NoButton : m_answers.takeFirst();
            later([target, answer] {
                auto *box = qobject_cast<QMessageBox *>(target.data());
                if (!box)
                    return;
                QAbstractButton *button
                    = answer != QMessageBox::NoButton ? box->button(answer) : box->defaultButton();
                if (!button)
                    button = box->buttons().value(0);
                if (button)
                    button->click();
                else
                    box->reject();
            });
            return;
        }
        if (!m_steps.isEmpty() && m_steps.first().match && !m_steps.first().match(modal))
            return;
        const Act act = m_steps.isEmpty() ? Act() : m_steps.takeFirst().act;
        later([this, target, act] {
            if (!target)
                return;
            if (act) {
                act(target);
                return;
            }
            unexpected << QString::fromLatin1(target->metaObject()->className());
            if (auto *dialog = qobject_cast<QDialog *>(target.data()))
                dialog->reject();
        });
    }

    // Acting from inside the timer's slot would keep the timer from firing in a
    // modal loop that the act opens; the poll rests until the act has begun.
    void later(std::function<void()> act)
    {
        m_busy = true;
        QTimer::singleShot(0, this, [this, act] {
            m_busy = false;
            act();
        });
    }

    QList<Step> m_steps;
    QList<QMessageBox::StandardButton> m_answers;
    QTimer m_timer;
    bool m_busy = false;
};

inline bool isFileDialog(QWidget *w)
{
    return qobject_cast<QFileDialog *>(w) != nullptr;
}

// What a file picker showed when it opened.
struct PickerSeen
{
    QString title;
    QString directory;
    QString proposedName;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    QStringList nameFilters;
};

// Answers a file picker as a user typing into its name field would, names
// relative to dir when one is given; empty text cancels it.
inline ModalDriver::Act pick(
    const QString &text, PickerSeen *seen = nullptr, const QString &dir = QString())
{
    return [text, seen, dir](QWidget *w) {
        auto *picker = qobject_cast<QFileDialog *>(w);
        if (!picker) {
            if (auto *dialog = qobject_cast<QDialog *>(w))
                dialog->reject();
            return;
        }
        auto *name = picker->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (seen)
            *seen = PickerSeen { picker->windowTitle(), picker->directory().absolutePath(),
                name ? name->text() : QString(), picker->acceptMode(), picker->fileMode(),
                picker->nameFilters() };
        if (text.isEmpty()) {
            picker->reject();
            return;
        }
        if (!dir.isEmpty())
            picker->setDirectory(dir);
        picker->setOption(QFileDialog::DontConfirmOverwrite);
        if (name)
            name->setText(text);
        // QDialog::accept is public and still reaches the picker's own checks.
        static_cast<QDialog *>(picker)->accept();
    };
}

// Several names for one picker, each in double quotes.
inline QString quoted(const QStringList &names)
{
    return QLatin1Char('"') + names.join(QStringLiteral("\" \"")) + QLatin1Char('"');
}

// A main window with its own folder, the deferred start stopped and the
// built-in texts. The driver is made before the window so that it outlives it.
// What the source view shows, at natural size: its image with its overlay.
inline QImage naturalPicture(const SourceView *view)
{
    QImage picture = view->image().convertToFormat(QImage::Format_ARGB32);
    QPainter painter(&picture);
    paintOverlay(painter, view->overlay(), view->pen());
    return picture;
}

struct WindowHarness
{
    ModalDriver modal;
    QTemporaryDir dir;
    MainWindow window;

    WindowHarness()
    {
        window.cancelDeferredStart();
        window.setPaths({ dir.path(), dir.filePath(QStringLiteral("plano-miller.ini")),
            dir.filePath(QStringLiteral("plano-miller_lang.ini")) });
        window.loadTexts();
    }

    template <typename T> T *child(const char *name) const { return ::child<T>(&window, name); }
    QAction *action(const char *name) const { return child<QAction>(name); }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString makeFolder(const QString &name) const { return ::makeFolder(dir.path(), name); }

    bool open(const QString &path)
    {
        window.setLoadPath(path);
        window.openImage();
        return !window.sourceImage().isNull();
    }
    bool openWhite(int w, int h, const QString &name = QStringLiteral("white.png"))
    {
        return open(writeImage(path(name), w, h));
    }

    void setMargins(int left, int right, int bottom, int top)
    {
        child<QSpinBox>("spinBoxMarginLeft")->setValue(left);
        child<QSpinBox>("spinBoxMarginRight")->setValue(right);
        child<QSpinBox>("spinBoxMarginBottom")->setValue(bottom);
        child<QSpinBox>("spinBoxMarginTop")->setValue(top);
    }
    QList<int> spinMargins() const
    {
        return { child<QSpinBox>("spinBoxMarginLeft")->value(),
            child<QSpinBox>("spinBoxMarginRight")->value(),
            child<QSpinBox>("spinBoxMarginBottom")->value(),
            child<QSpinBox>("spinBoxMarginTop")->value() };
    }
    QList<int> memberMargins() const
    {
        const ParamSet &p = window.params();
        return { p.marginLeft, p.marginRight, p.marginBottom, p.marginTop };
    }
};
