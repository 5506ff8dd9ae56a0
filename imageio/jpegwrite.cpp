#include "imageio/jpegwrite.h"

#include <QColorSpace>
#include <QIODevice>
#include <QThread>

// jpeglib.h needs FILE declared first.
#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jerror.h>
#include <jpeglib.h>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct ErrorHandler
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto *handler = reinterpret_cast<ErrorHandler *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, handler->message);
    std::longjmp(handler->jump, 1);
}

void quietOutput(j_common_ptr) { }

// The toolkit's choice of unit: whichever states the resolution more exactly.
void setDensity(jpeg_compress_struct &cinfo, const QImage &image)
{
    const int dpmX = image.dotsPerMeterX();
    const int dpmY = image.dotsPerMeterY();
    const qreal diffInch = qAbs(dpmX * 2.54 / 100. - qRound(dpmX * 2.54 / 100.))
        + qAbs(dpmY * 2.54 / 100. - qRound(dpmY * 2.54 / 100.));
    const qreal diffCm
        = (qAbs(dpmX / 100. - qRound(dpmX / 100.)) + qAbs(dpmY / 100. - qRound(dpmY / 100.)))
        * 2.54;
    if (diffInch < diffCm) {
        cinfo.density_unit = 1;
        cinfo.X_density = UINT16(qRound(dpmX * 2.54 / 100.));
        cinfo.Y_density = UINT16(qRound(dpmY * 2.54 / 100.));
    } else {
        cinfo.density_unit = 2;
        cinfo.X_density = UINT16((dpmX + 50) / 100);
        cinfo.Y_density = UINT16((dpmY + 50) / 100);
    }
}

// Rows y0 to y1 of the image as a JPEG of their own. Kept apart from any
// object with a destructor: longjmp skips them.
bool compressRows(jpeg_compress_struct &cinfo, ErrorHandler &handler, jpeg_destination_mgr *dest,
    const QImage &image, int y0, int y1, int quality, unsigned restartInterval)
{
    if (setjmp(handler.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = dest;
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(y1 - y0);
    cinfo.input_components = 4;
    // The words 0xAARRGGBB in memory order.
    cinfo.in_color_space
        = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&cinfo);
    setDensity(cinfo, image);
    jpeg_set_quality(&cinfo, quality < 0 ? 75 : qMin(quality, 100), TRUE);
    cinfo.restart_interval = restartInterval;
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[16];
    while (cinfo.next_scanline < cinfo.image_height) {
        int n = 0;
        for (; n < 16 && cinfo.next_scanline + JDIMENSION(n) < cinfo.image_height; ++n)
            rows[n] = const_cast<JSAMPROW>(image.constScanLine(y0 + int(cinfo.next_scanline) + n));
        jpeg_write_scanlines(&cinfo, rows, JDIMENSION(n));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// A band's JPEG in memory, grown with realloc: nothing may throw through
// the library's C frames.
struct MemoryDestination
{
    jpeg_destination_mgr manager;
    unsigned char *bytes = nullptr;
    size_t capacity = 0;
};

void initMemory(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    dest->manager.next_output_byte = dest->bytes;
    dest->manager.free_in_buffer = dest->capacity;
}

boolean growMemory(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    const size_t used = dest->capacity;
    auto *grown = static_cast<unsigned char *>(std::realloc(dest->bytes, used * 2));
    if (!grown)
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->bytes = grown;
    dest->capacity = used * 2;
    dest->manager.next_output_byte = grown + used;
    dest->manager.free_in_buffer = used;
    return TRUE;
}

void termMemory(j_compress_ptr) { }

struct Band
{
    std::unique_ptr<unsigned char, decltype(&std::free)> bytes { nullptr, &std::free };
    size_t length = 0;
    QString error;
};

Band compressBand(const QImage &image, int y0, int y1, int quality, unsigned restartInterval)
{
    Band band;
    MemoryDestination dest {};
    dest.capacity = std::max<size_t>(size_t(image.width()) * size_t(y1 - y0) / 2, 65536);
    dest.bytes = static_cast<unsigned char *>(std::malloc(dest.capacity));
    if (!dest.bytes) {
        band.error = QStringLiteral("not enough memory");
        return band;
    }
    dest.manager.init_destination = initMemory;
    dest.manager.empty_output_buffer = growMemory;
    dest.manager.term_destination = termMemory;
    jpeg_compress_struct cinfo {};
    ErrorHandler handler {};
    cinfo.err = jpeg_std_error(&handler.manager);
    handler.manager.error_exit = errorExit;
    handler.manager.output_message = quietOutput;
    const bool ok
        = compressRows(cinfo, handler, &dest.manager, image, y0, y1, quality, restartInterval);
    band.bytes.reset(dest.bytes);
    if (ok)
        band.length = dest.capacity - dest.manager.free_in_buffer;
    else
        band.error = QString::fromLocal8Bit(handler.message);
    return band;
}

// Where libjpeg's own baseline output has its frame header and where its
// coded data begins; zero where not found.
struct Layout
{
    size_t frame = 0;
    size_t data = 0;
};

Layout layoutOf(const Band &band)
{
    Layout layout;
    const unsigned char *b = band.bytes.get();
    size_t at = 2;
    while (at + 4 <= band.length && b[at] == 0xFF) {
        const unsigned char marker = b[at + 1];
        const size_t length = size_t(b[at + 2]) << 8 | b[at + 3];
        if (marker == 0xC0)
            layout.frame = at;
        at += 2 + length;
        if (marker == 0xDA) {
            if (at + 2 <= band.length && b[band.length - 2] == 0xFF && b[band.length - 1] == 0xD9)
                layout.data = at;
            break;
        }
    }
    return layout;
}

} // namespace

bool jpegWritable(const QImage &image)
{
    return (image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32)
        && image.textKeys().isEmpty() && !image.colorSpace().isValid();
}

bool writeJpeg(const QImage &image, QIODevice *device, int quality, QString *error, int bandRows)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!jpegWritable(image))
        return fail(QStringLiteral("the image is not 32-bit RGB"));

    // Colour is coded in MCUs of 16 x 16 pixels (2 x 2 luma sampling). A
    // restart interval counts MCUs in 16 bits.
    const int mcusAcross = (image.width() + 15) / 16;
    const int mcuRows = std::clamp(bandRows / 16, 1, std::max(1, 65535 / mcusAcross));
    const int rows = 16 * mcuRows;
    const int bands = (image.height() + rows - 1) / rows;
    // Beyond libjpeg's largest dimension one stream lets the library refuse it.
    const bool split
        = bands > 1 && image.width() <= JPEG_MAX_DIMENSION && image.height() <= JPEG_MAX_DIMENSION;
    const unsigned interval = split ? unsigned(mcusAcross * mcuRows) : 0;

    // Every band is coded as an image of its own on some core; each starts
    // its DC prediction afresh, just where a restart marker resets it, so
    // joined with the markers between them they decode to the pixels one
    // stream would give.
    std::vector<Band> coded(size_t(split ? bands : 1));
    if (!split) {
        coded[0] = compressBand(image, 0, image.height(), quality, 0);
    } else {
        std::atomic<int> next { 0 };
        auto work = [&] {
            for (int b = next++; b < bands; b = next++)
                coded[size_t(b)] = compressBand(
                    image, b * rows, std::min(image.height(), (b + 1) * rows), quality, interval);
        };
        const int threads = std::min(bands, std::max(1, QThread::idealThreadCount()));
        std::vector<std::thread> helpers;
        for (int t = 1; t < threads; ++t)
            helpers.emplace_back(work);
        work();
        for (std::thread &helper : helpers)
            helper.join();
    }

    auto put = [device](const unsigned char *bytes, size_t length) {
        return device->write(reinterpret_cast<const char *>(bytes), qint64(length))
            == qint64(length);
    };
    for (const Band &band : coded) {
        if (!band.bytes || band.length == 0)
            return fail(band.error.isEmpty() ? QStringLiteral("not enough memory") : band.error);
    }
    if (!split) {
        if (!put(coded[0].bytes.get(), coded[0].length))
            return fail(QStringLiteral("the device refused the data"));
        return true;
    }
    // The first band's headers, with the whole image's height.
    const Layout first = layoutOf(coded[0]);
    if (first.frame == 0 || first.data == 0)
        return fail(QStringLiteral("the encoder wrote no frame"));
    unsigned char *head = coded[0].bytes.get();
    head[first.frame + 5] = static_cast<unsigned char>(image.height() >> 8);
    head[first.frame + 6] = static_cast<unsigned char>(image.height());
    bool ok = put(head, first.data);
    for (int b = 0; ok && b < bands; ++b) {
        const Band &band = coded[size_t(b)];
        const size_t data = b == 0 ? first.data : layoutOf(band).data;
        if (data == 0)
            return fail(QStringLiteral("the encoder wrote no frame"));
        // The coded data without the band's end marker, then the next
        // restart marker or the image's end.
        const unsigned char marker[2]
            = { 0xFF, static_cast<unsigned char>(b + 1 < bands ? 0xD0 + (b & 7) : 0xD9) };
        ok = put(band.bytes.get() + data, band.length - 2 - data) && put(marker, 2);
    }
    if (!ok)
        return fail(QStringLiteral("the device refused the data"));
    return true;
}
