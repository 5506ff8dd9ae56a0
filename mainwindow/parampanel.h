// The conversion parameters as the user edits them: the four margins, the
// source projection and the longitude/latitude box. The fields bound and round
// what they are given; each change the user makes arrives as one
// paramsChanged, never once per field while a whole set is taken.
#pragma once

#include "app/langtexts.h"
#include "mainwindow/framedrag.h"
#include "projection/convertparams.h"

#include <QFrame>
#include <QSize>
#include <QStringList>

#include <memory>

namespace Ui {
class ParamPanel;
}

class ParamPanel : public QFrame
{
    Q_OBJECT

public:
    explicit ParamPanel(QWidget *parent = nullptr);
    ~ParamPanel() override;

    // What the fields show.
    const ParamSet &shown() const { return m_params; }
    // The parameters in force: the fields' values, except a value given as no
    // number that the user has not replaced since, so that it is refused and
    // written back as it was instead of silently becoming a bound.
    ParamSet params() const;
    // Takes a loaded, detected or stored set whole. Returns each margin the
    // fields had to cut, as "label wanted → shown".
    QStringList setParams(const ParamSet &wanted);
    // Margins up to the image's width or height less one pixel of map; 0 to
    // 1024 while there is no image (an empty size). Margins given earlier that
    // had to be cut are taken again, unless the user has changed something
    // since; returns those still cut.
    QStringList setImageSize(const QSize &size);
    // The margins shown, and the fields' set with other margins.
    Margins margins() const;
    ParamSet shownWith(const Margins &margins) const;
    // Margins from the frame drawn on the image; the rest stays as it is.
    void setMargins(const Margins &margins);
    // The selector's entries in the texts' language, by position.
    void setProjectionNames(const TextTable &texts);

signals:
    void paramsChanged(const ParamSet &params);

private:
    void showParams();
    void readFields();
    void fieldChanged();

    std::unique_ptr<Ui::ParamPanel> ui;
    QSize m_imageSize;
    ParamSet m_params; // as the fields show them
    ParamSet m_given; // as last given whole
    ParamSet m_shownWhenGiven; // and as the fields showed it then
    bool m_quiet = false;
};
