#include "imageio/pngwrite.h"

#include <QColorSpace>
#include <QIODevice>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

using Bytes = std::vector<unsigned char>;

struct Band
{
    Bytes deflated;
    uLong adler = 1;
    size_t rawLength = 0;
    bool ok = false;
};

void putBigEndian(unsigned char *to, quint32 value)
{
    to[0] = static_cast<unsigned char>(value >> 24);
    to[1] = static_cast<unsigned char>(value >> 16);
    to[2] = static_cast<unsigned char>(value >> 8);
    to[3] = static_cast<unsigned char>(value);
}

bool writeChunk(QIODevice *device, const char *type, const unsigned char *data, size_t length)
{
    unsigned char head[8];
    putBigEndian(head, quint32(length));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (length > 0)
        crc = crc32_z(crc, data, length);
    unsigned char tail[4];
    putBigEndian(tail, quint32(crc));
    return device->write(reinterpret_cast<const char *>(head), 8) == 8
        && (length == 0
            || device->write(reinterpret_cast<const char *>(data), qint64(length))
                == qint64(length))
        && device->write(reinterpret_cast<const char *>(tail), 4) == 4;
}

// One row from the image's 0xAARRGGBB words into PNG byte order.
void packRow(const QRgb *from, unsigned char *to, int width, bool alpha)
{
    if (alpha) {
        for (int x = 0; x < width; ++x, to += 4) {
            const QRgb p = from[x];
            to[0] = static_cast<unsigned char>(p >> 16);
            to[1] = static_cast<unsigned char>(p >> 8);
            to[2] = static_cast<unsigned char>(p);
            to[3] = static_cast<unsigned char>(p >> 24);
        }
    } else {
        for (int x = 0; x < width; ++x, to += 3) {
            const QRgb p = from[x];
            to[0] = static_cast<unsigned char>(p >> 16);
            to[1] = static_cast<unsigned char>(p >> 8);
            to[2] = static_cast<unsigned char>(p);
        }
    }
}

inline unsigned char paethPredictor(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return static_cast<unsigned char>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Writes the filter byte and the filtered row; prev is the unfiltered row above (zeros for the
// first).
void filterRow(PngFilter filter, const unsigned char *cur, const unsigned char *prev,
    unsigned char *out, size_t length, int bpp)
{
    auto sub = [&](unsigned char *to) {
        for (size_t i = 0; i < size_t(bpp); ++i)
            to[i] = cur[i];
        for (size_t i = bpp; i < length; ++i)
            to[i] = static_cast<unsigned char>(cur[i] - cur[i - bpp]);
    };
    auto up = [&](unsigned char *to) {
        for (size_t i = 0; i < length; ++i)
            to[i] = static_cast<unsigned char>(cur[i] - prev[i]);
    };
    auto paeth = [&](unsigned char *to) {
        for (size_t i = 0; i < size_t(bpp); ++i)
            to[i] = static_cast<unsigned char>(cur[i] - prev[i]);
        for (size_t i = bpp; i < length; ++i)
            to[i] = static_cast<unsigned char>(
                cur[i] - paethPredictor(cur[i - bpp], prev[i], prev[i - bpp]));
    };
    switch (filter) {
    case PngFilter::Sub:
        out[0] = 1;
        sub(out + 1);
        return;
    case PngFilter::Up:
        out[0] = 2;
        up(out + 1);
        return;
    case PngFilter::Paeth:
        out[0] = 4;
        paeth(out + 1);
        return;
    case PngFilter::Adaptive:
        break;
    }
    // The usual heuristic: the filter whose bytes, read as signed, sum smallest.
    auto cost = [length](const unsigned char *row) {
        quint64 sum = 0;
        for (size_t i = 0; i < length; ++i)
            sum += quint64(std::abs(int(static_cast<signed char>(row[i]))));
        return sum;
    };
    thread_local Bytes trial;
    trial.resize(length);
    out[0] = 1;
    sub(out + 1);
    quint64 best = cost(out + 1);
    up(trial.data());
    if (const quint64 c = cost(trial.data()); c < best) {
        best = c;
        out[0] = 2;
        std::memcpy(out + 1, trial.data(), length);
    }
    paeth(trial.data());
    if (cost(trial.data()) < best) {
        out[0] = 4;
        std::memcpy(out + 1, trial.data(), length);
    }
}

// Rows [y0, y1) packed and filtered into out, (1 + row bytes) each.
void filterRows(
    const QImage &image, int y0, int y1, bool alpha, PngFilter filter, unsigned char *out)
{
    const int width = image.width();
    const int bpp = alpha ? 4 : 3;
    const size_t length = size_t(width) * size_t(bpp);
    Bytes rows[2] = { Bytes(length, 0), Bytes(length, 0) };
    if (y0 > 0)
        packRow(reinterpret_cast<const QRgb *>(image.constScanLine(y0 - 1)), rows[0].data(), width,
            alpha);
    for (int y = y0; y < y1; ++y) {
        Bytes &cur = rows[(y - y0 + 1) & 1];
        const Bytes &prev = rows[(y - y0) & 1];
        packRow(reinterpret_cast<const QRgb *>(image.constScanLine(y)), cur.data(), width, alpha);
        filterRow(
            filter, cur.data(), prev.data(), out + (length + 1) * size_t(y - y0), length, bpp);
    }
}

// Rows [y0, y1) filtered and deflated as raw deflate data that ends on a byte
// boundary with no final block unless it is the image's last band.
Band deflateBand(
    const QImage &image, int y0, int y1, bool alpha, bool last, const PngWriteSettings &settings)
{
    Band band;
    const size_t length = size_t(image.width()) * (alpha ? 4 : 3);
    Bytes filtered((length + 1) * size_t(y1 - y0));
    filterRows(image, y0, y1, alpha, settings.filter, filtered.data());
    band.rawLength = filtered.size();
    band.adler = adler32_z(1, filtered.data(), filtered.size());

    z_stream zs {};
    if (deflateInit2(&zs, settings.level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return band;
    band.deflated.resize(deflateBound(&zs, uLong(filtered.size())) + 16);
    zs.next_in = filtered.data();
    zs.avail_in = uInt(filtered.size());
    zs.next_out = band.deflated.data();
    zs.avail_out = uInt(band.deflated.size());
    const int rc = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
    band.ok = last ? rc == Z_STREAM_END : rc == Z_OK && zs.avail_in == 0;
    band.deflated.resize(zs.total_out);
    deflateEnd(&zs);
    return band;
}

} // namespace

bool pngWritable(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB888:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        break;
    default:
        return false;
    }
    return !image.isNull() && image.textKeys().isEmpty() && image.offset().isNull()
        && !image.colorSpace().isValid();
}

bool writePng(
    const QImage &source, QIODevice *device, QString *error, const PngWriteSettings &settings)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!pngWritable(source))
        return fail(QStringLiteral("the image has no 8-bit RGB or RGBA form"));
    const bool alpha = source.hasAlphaChannel();
    // Straight, not premultiplied, colour: what the file stores.
    const QImage image
        = source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int width = image.width();
    const int height = image.height();

    static const unsigned char signature[8] = { 137, 80, 78, 71, 13, 10, 26, 10 };
    unsigned char ihdr[13];
    putBigEndian(ihdr, quint32(width));
    putBigEndian(ihdr + 4, quint32(height));
    ihdr[8] = 8; // bits per channel
    ihdr[9] = alpha ? 6 : 2; // RGBA or RGB
    ihdr[10] = ihdr[11] = ihdr[12] = 0; // deflate, adaptive filtering, no interlace
    auto refused = [&] { return fail(QStringLiteral("the device refused the data")); };
    if (device->write(reinterpret_cast<const char *>(signature), 8) != 8
        || !writeChunk(device, "IHDR", ihdr, sizeof ihdr))
        return refused();
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0) {
        unsigned char phys[9];
        putBigEndian(phys, quint32(image.dotsPerMeterX()));
        putBigEndian(phys + 4, quint32(image.dotsPerMeterY()));
        phys[8] = 1; // per metre
        if (!writeChunk(device, "pHYs", phys, sizeof phys))
            return refused();
    }

    const int bandRows = std::max(1, settings.bandRows);
    const int bands = (height + bandRows - 1) / bandRows;
    const int threads = std::min(
        bands, settings.threads > 0 ? settings.threads : std::max(1, QThread::idealThreadCount()));
    std::vector<std::promise<Band>> promised(static_cast<size_t>(bands));
    std::vector<std::future<Band>> results;
    results.reserve(promised.size());
    for (auto &p : promised)
        results.push_back(p.get_future());
    std::atomic<int> next { 0 };
    std::atomic<bool> abandoned { false };
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int b = next++; b < bands; b = next++) {
                if (abandoned) {
                    promised[size_t(b)].set_value(Band());
                    continue;
                }
                const int y0 = b * bandRows;
                try {
                    promised[size_t(b)].set_value(deflateBand(image, y0,
                        std::min(height, y0 + bandRows), alpha, b == bands - 1, settings));
                } catch (const std::bad_alloc &) {
                    promised[size_t(b)].set_value(Band());
                }
            }
        });
    }

    // The main thread writes the bands in order as they come in.
    const int level = std::clamp(settings.level, 1, 9);
    const int flevel = level == 1 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned char zlibHeader[2] = { 0x78, static_cast<unsigned char>(flevel << 6) };
    zlibHeader[1] += static_cast<unsigned char>(31 - (0x7800 + zlibHeader[1]) % 31);
    uLong adler = 1;
    QString why;
    Bytes piece;
    for (int b = 0; b < bands; ++b) {
        Band band = results[size_t(b)].get();
        if (!why.isEmpty())
            continue;
        if (!band.ok) {
            why = QStringLiteral("compression failed");
        } else {
            adler = adler32_combine(adler, band.adler, z_off_t(band.rawLength));
            piece.clear();
            if (b == 0)
                piece.insert(piece.end(), zlibHeader, zlibHeader + 2);
            piece.insert(piece.end(), band.deflated.begin(), band.deflated.end());
            if (b == bands - 1) {
                unsigned char check[4];
                putBigEndian(check, quint32(adler));
                piece.insert(piece.end(), check, check + 4);
            }
            if (!writeChunk(device, "IDAT", piece.data(), piece.size()))
                why = QStringLiteral("the device refused the data");
        }
        if (!why.isEmpty())
            abandoned = true;
    }
    for (std::thread &worker : workers)
        worker.join();
    if (!why.isEmpty())
        return fail(why);
    if (!writeChunk(device, "IEND", nullptr, 0))
        return refused();
    return true;
}
