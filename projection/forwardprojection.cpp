#include "projection/forwardprojection.h"

#include <cmath>
#include <proj.h>

namespace {

struct Definition
{
    const char *name;
    const char *proj; // the PROJ operation, on the unit sphere
};

constexpr Definition kDefinitions[] = {
    { "miller", "+proj=mill" },
    { "mercator", "+proj=merc" },
    { "equirectangular", "+proj=eqc" },
    { "robinson", "+proj=robin" },
    { "winkel-tripel", "+proj=wintri" },
    { "mollweide", "+proj=moll" },
    { "equal-earth", "+proj=eqearth" },
    { "natural-earth", "+proj=natearth" },
    { "eckert4", "+proj=eck4" },
    { "kavrayskiy7", "+proj=kav7" },
    { "gall-stereographic", "+proj=gall" },
    { "gall-peters", "+proj=cea +lat_ts=45" },
    { "behrmann", "+proj=cea +lat_ts=30" },
};

} // namespace

ForwardProjection::ForwardProjection(const QString &name, double centralMeridian)
{
    for (const Definition &d : kDefinitions) {
        if (name != QLatin1String(d.name))
            continue;
        // Each instance has its own context, so that threads may use one each.
        m_context = proj_context_create();
        proj_log_level(m_context, PJ_LOG_NONE);
        const QByteArray definition
            = QByteArray(d.proj) + " +R=1 +lon_0=" + QByteArray::number(centralMeridian, 'g', 17);
        m_projection = proj_create(m_context, definition.constData());
        return;
    }
}

ForwardProjection::~ForwardProjection()
{
    if (m_projection)
        proj_destroy(m_projection);
    if (m_context)
        proj_context_destroy(m_context);
}

bool ForwardProjection::forward(double lonDegrees, double latDegrees, double *x, double *y) const
{
    if (!m_projection || !std::isfinite(lonDegrees) || !std::isfinite(latDegrees))
        return false;
    PJ_COORD in = proj_coord(proj_torad(lonDegrees), proj_torad(latDegrees), 0, 0);
    const PJ_COORD out = proj_trans(m_projection, PJ_FWD, in);
    if (!std::isfinite(out.xy.x) || !std::isfinite(out.xy.y) || out.xy.x == HUGE_VAL)
        return false;
    *x = out.xy.x;
    *y = out.xy.y;
    return true;
}

bool ForwardProjection::inverse(double x, double y, double *lonDegrees, double *latDegrees) const
{
    if (!m_projection || !std::isfinite(x) || !std::isfinite(y))
        return false;
    const PJ_COORD out = proj_trans(m_projection, PJ_INV, proj_coord(x, y, 0, 0));
    if (!std::isfinite(out.lp.lam) || !std::isfinite(out.lp.phi) || out.lp.lam == HUGE_VAL)
        return false;
    *lonDegrees = proj_todeg(out.lp.lam);
    *latDegrees = proj_todeg(out.lp.phi);
    return true;
}

QStringList ForwardProjection::names()
{
    QStringList list;
    for (const Definition &d : kDefinitions)
        list << QString::fromLatin1(d.name);
    return list;
}
