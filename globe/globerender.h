// The converted equirectangular image on a sphere in orthographic view, for
// the preview's globe: longitude -180..180 left to right and latitude 90..-90
// top to bottom in the image; outside the disc the picture is transparent.
#pragma once

#include <QImage>
#include <QSize>

struct GlobeOptions
{
    // A thin line every 30 degrees over the globe.
    bool graticule = false;
    // 0: one per core.
    int threads = 0;
};

// The image seen from above (centreLon, centreLat) in degrees; the sphere's
// diameter is min(width, height) x zoom (1..8). Sampled bilinearly, wrapping
// at +-180 degrees and held at the poles. ARGB32 premultiplied, the disc's
// edge antialiased. Fastest with an RGB32 or premultiplied image: any other
// format is converted on each call.
QImage renderGlobe(const QImage &image, double centreLon, double centreLat, double zoom,
    const QSize &size, const GlobeOptions &options = GlobeOptions());

// The 30-degree graticule drawn over a globe picture of the same view.
void drawGraticule(QImage &globe, double centreLon, double centreLat, double zoom);
