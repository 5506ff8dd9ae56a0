#include "imageio/jpegwrite.h"

#include <QColorSpace>
#include <QIODevice>

// jpeglib.h needs FILE declared first.
#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <vector>

namespace {

constexpr size_t kBufferSize = 64 * 1024;

struct Destination
{
    jpeg_destination_mgr manager;
    QIODevice *device;
    std::vector<JOCTET> buffer;
    bool refused = false;
};

struct ErrorHandler
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void initDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<Destination *>(cinfo->dest);
    dest->manager.next_output_byte = dest->buffer.data();
    dest->manager.free_in_buffer = dest->buffer.size();
}

bool flushBytes(Destination *dest, size_t length)
{
    if (length > 0
        && dest->device->write(reinterpret_cast<const char *>(dest->buffer.data()), qint64(length))
            != qint64(length))
        dest->refused = true;
    return !dest->refused;
}

boolean emptyBuffer(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<Destination *>(cinfo->dest);
    if (!flushBytes(dest, dest->buffer.size()))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    initDestination(cinfo);
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<Destination *>(cinfo->dest);
    if (!flushBytes(dest, dest->buffer.size() - dest->manager.free_in_buffer))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

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

// Kept apart from any object with a destructor: longjmp skips them.
bool encode(jpeg_compress_struct &cinfo, ErrorHandler &handler, Destination &dest,
    const QImage &image, int quality)
{
    if (setjmp(handler.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &dest.manager;
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    cinfo.input_components = 4;
    // The words 0xAARRGGBB in memory order.
    cinfo.in_color_space
        = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&cinfo);
    setDensity(cinfo, image);
    jpeg_set_quality(&cinfo, quality < 0 ? 75 : qMin(quality, 100), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[16];
    while (cinfo.next_scanline < cinfo.image_height) {
        int n = 0;
        for (; n < 16 && cinfo.next_scanline + JDIMENSION(n) < cinfo.image_height; ++n)
            rows[n] = const_cast<JSAMPROW>(image.constScanLine(int(cinfo.next_scanline) + n));
        jpeg_write_scanlines(&cinfo, rows, JDIMENSION(n));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool jpegWritable(const QImage &image)
{
    return (image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32)
        && image.textKeys().isEmpty() && !image.colorSpace().isValid();
}

bool writeJpeg(const QImage &image, QIODevice *device, int quality, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!jpegWritable(image))
        return fail(QStringLiteral("the image is not 32-bit RGB"));

    jpeg_compress_struct cinfo {};
    ErrorHandler handler {};
    cinfo.err = jpeg_std_error(&handler.manager);
    handler.manager.error_exit = errorExit;
    handler.manager.output_message = quietOutput;
    Destination dest {};
    dest.device = device;
    dest.buffer.resize(kBufferSize);
    dest.manager.init_destination = initDestination;
    dest.manager.empty_output_buffer = emptyBuffer;
    dest.manager.term_destination = termDestination;
    if (!encode(cinfo, handler, dest, image, quality))
        return fail(dest.refused ? QStringLiteral("the device refused the data")
                                 : QString::fromLocal8Bit(handler.message));
    return true;
}
