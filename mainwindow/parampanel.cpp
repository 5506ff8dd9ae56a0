#include "mainwindow/parampanel.h"

#include "params/paramcheck.h"
#include "ui_parampanel.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>

#include <cmath>

ParamPanel::ParamPanel(QWidget *parent)
    : QFrame(parent)
    , ui(std::make_unique<Ui::ParamPanel>())
{
    ui->setupUi(this);
    // The selector's items are the projection names; the language step only
    // renames their texts, so the index keeps translating to a name.
    ui->cbFormatMapProj->clear();
    for (const QString &name : projectionList())
        ui->cbFormatMapProj->addItem(name);
    for (QDoubleSpinBox *box : { ui->doubleSpinBoxLonMin, ui->doubleSpinBoxLonMax }) {
        box->setRange(-kMaxLongitude, kMaxLongitude);
        box->setDecimals(kDegreeDecimals);
    }
    for (QDoubleSpinBox *box : { ui->doubleSpinBoxLatMin, ui->doubleSpinBoxLatMax }) {
        box->setRange(-kMaxLatitude, kMaxLatitude);
        box->setDecimals(kDegreeDecimals);
    }
    setImageSize(QSize());
    setFocusProxy(ui->spinBoxMarginLeft);

    for (QSpinBox *box : { ui->spinBoxMarginLeft, ui->spinBoxMarginRight, ui->spinBoxMarginBottom,
             ui->spinBoxMarginTop, ui->spinBoxFrameLine })
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &ParamPanel::fieldChanged);
    for (QDoubleSpinBox *box : { ui->doubleSpinBoxLonMin, ui->doubleSpinBoxLonMax,
             ui->doubleSpinBoxLatMin, ui->doubleSpinBoxLatMax })
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ParamPanel::fieldChanged);
    connect(ui->cbFormatMapProj, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        &ParamPanel::fieldChanged);
    setParams(ParamSet());
}

ParamPanel::~ParamPanel() = default;

ParamSet ParamPanel::params() const
{
    ParamSet kept = m_params;
    double ParamSet::*const angles[]
        = { &ParamSet::lonMin, &ParamSet::lonMax, &ParamSet::latMin, &ParamSet::latMax };
    for (double ParamSet::*angle : angles) {
        if (!std::isfinite(m_given.*angle) && m_params.*angle == m_shownWhenGiven.*angle)
            kept.*angle = m_given.*angle;
    }
    return kept;
}

void ParamPanel::setProjectionNames(const TextTable &texts)
{
    for (int i = 0; i < ui->cbFormatMapProj->count(); ++i) {
        const QString name = projectionList().value(i);
        if (!name.isEmpty())
            ui->cbFormatMapProj->setItemText(i, texts[QStringLiteral("map_proj_") + name]);
    }
}

QStringList ParamPanel::setParams(const ParamSet &wanted)
{
    m_given = wanted;
    m_params = wanted;
    showParams();
    m_shownWhenGiven = m_params;
    const struct
    {
        const QLabel *label;
        int wanted;
        int shown;
    } margins[] = {
        { ui->labelMarginLeft, wanted.marginLeft, m_params.marginLeft },
        { ui->labelMarginRight, wanted.marginRight, m_params.marginRight },
        { ui->labelMarginBottom, wanted.marginBottom, m_params.marginBottom },
        { ui->labelMarginTop, wanted.marginTop, m_params.marginTop },
    };
    QStringList cuts;
    for (const auto &m : margins) {
        if (m.wanted > m.shown)
            cuts << QStringLiteral("%1 %2 \u2192 %3")
                        .arg(m.label->text())
                        .arg(m.wanted)
                        .arg(m.shown);
    }
    return cuts;
}

QStringList ParamPanel::setImageSize(const QSize &size)
{
    m_imageSize = size;
    const bool untouched = m_params == m_shownWhenGiven;
    const int maxX = size.isEmpty() ? kMarginLimitWithoutImage : size.width() - 1;
    const int maxY = size.isEmpty() ? kMarginLimitWithoutImage : size.height() - 1;
    m_quiet = true;
    ui->spinBoxMarginLeft->setMaximum(maxX);
    ui->spinBoxMarginRight->setMaximum(maxX);
    ui->spinBoxMarginBottom->setMaximum(maxY);
    ui->spinBoxMarginTop->setMaximum(maxY);
    m_quiet = false;
    // What the boxes cut before there was an image to measure it by is taken
    // again, unless the user has changed something since.
    ParamSet wanted = m_params;
    if (untouched) {
        wanted.marginLeft = m_given.marginLeft;
        wanted.marginRight = m_given.marginRight;
        wanted.marginBottom = m_given.marginBottom;
        wanted.marginTop = m_given.marginTop;
    }
    const ParamSet given = m_given;
    const QStringList cuts = setParams(wanted);
    m_given = given;
    return cuts;
}

Margins ParamPanel::margins() const
{
    return Margins { m_params.marginLeft, m_params.marginRight, m_params.marginBottom,
        m_params.marginTop };
}

ParamSet ParamPanel::shownWith(const Margins &margins) const
{
    ParamSet p = m_params;
    p.marginLeft = margins.left;
    p.marginRight = margins.right;
    p.marginBottom = margins.bottom;
    p.marginTop = margins.top;
    return p;
}

void ParamPanel::setMargins(const Margins &margins)
{
    m_params = shownWith(margins);
    showParams();
}

// The fields bound and round the values; the members follow them.
void ParamPanel::showParams()
{
    m_quiet = true;
    ui->spinBoxMarginLeft->setValue(m_params.marginLeft);
    ui->spinBoxMarginRight->setValue(m_params.marginRight);
    ui->spinBoxMarginBottom->setValue(m_params.marginBottom);
    ui->spinBoxMarginTop->setValue(m_params.marginTop);
    ui->spinBoxFrameLine->setValue(m_params.frameLine);
    ui->cbFormatMapProj->setCurrentIndex(projectionList().indexOf(m_params.projection));
    ui->doubleSpinBoxLonMin->setValue(m_params.lonMin);
    ui->doubleSpinBoxLonMax->setValue(m_params.lonMax);
    ui->doubleSpinBoxLatMin->setValue(m_params.latMin);
    ui->doubleSpinBoxLatMax->setValue(m_params.latMax);
    readFields();
    m_quiet = false;
}

void ParamPanel::readFields()
{
    m_params.marginLeft = ui->spinBoxMarginLeft->value();
    m_params.marginRight = ui->spinBoxMarginRight->value();
    m_params.marginBottom = ui->spinBoxMarginBottom->value();
    m_params.marginTop = ui->spinBoxMarginTop->value();
    m_params.frameLine = ui->spinBoxFrameLine->value();
    // An unknown name selects nothing; it stays as written, to be named in messages.
    if (ui->cbFormatMapProj->currentIndex() >= 0)
        m_params.projection = projectionList().value(ui->cbFormatMapProj->currentIndex());
    m_params.lonMin = ui->doubleSpinBoxLonMin->value();
    m_params.lonMax = ui->doubleSpinBoxLonMax->value();
    m_params.latMin = ui->doubleSpinBoxLatMin->value();
    m_params.latMax = ui->doubleSpinBoxLatMax->value();
}

void ParamPanel::fieldChanged()
{
    if (m_quiet)
        return;
    readFields();
    emit paramsChanged(params());
}
