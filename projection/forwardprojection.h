// The forward projections of world maps, computed by PROJ: longitude and
// latitude to a position on the map's plane, on a sphere of radius 1.
#pragma once

#include <QString>
#include <QStringList>

struct PJconsts;
struct pj_ctx;

class ForwardProjection
{
public:
    // `name` is one of names(); the map is centred on `centralMeridian`.
    explicit ForwardProjection(const QString &name, double centralMeridian = 0.0);
    ~ForwardProjection();
    ForwardProjection(const ForwardProjection &) = delete;
    ForwardProjection &operator=(const ForwardProjection &) = delete;

    bool isValid() const { return m_projection != nullptr; }
    // Degrees in; x eastwards and y northwards out. False where PROJ has no
    // position (a latitude beyond ±90°) or the name is unknown.
    bool forward(double lonDegrees, double latDegrees, double *x, double *y) const;

    // The latitude (and longitude) of a position, where the projection has
    // an inverse; false outside the map.
    bool inverse(double x, double y, double *lonDegrees, double *latDegrees) const;

    // Every projection known here, by the name parameter files use.
    static QStringList names();

private:
    pj_ctx *m_context = nullptr;
    PJconsts *m_projection = nullptr;
};
