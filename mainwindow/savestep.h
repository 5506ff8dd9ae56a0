// Step 4: the output name line and its folder, and converting and saving one
// image under that name after the checks and the overwrite question, with a
// report either way.
#pragma once

#include "app/langtexts.h"

#include <QObject>
#include <QString>

#include <functional>

struct AppSettings;
class QImage;
class QLineEdit;
class QWidget;

class SaveStep : public QObject
{
    Q_OBJECT

public:
    // The settings hold the folder, the base name and the output format.
    SaveStep(QLineEdit *nameLine, AppSettings &settings, const TextTable &texts, QWidget *window);

    // The line shows the name the settings propose.
    void showName();
    // A newly opened image proposes "OX-" + its name, and its folder while none is set.
    void imageOpened(const QString &path);
    // The user typed a name: its base and its suffix's format are taken.
    void nameEdited();
    void browse();
    // refusal: why the parameters give no image, or empty. make() builds the
    // output, or gives null with the reason.
    void convertAndSave(const QString &title, const QString &refusal,
        const std::function<QImage(QString *error)> &make);

private:
    void tell(int icon, const QString &title, const QString &text);

    QLineEdit *m_line;
    AppSettings &m_settings;
    const TextTable &m_texts;
    QWidget *m_window;
    bool m_busy = false;
};
