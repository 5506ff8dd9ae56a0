#include "imageio/jpegdecode.h"

#include "imageio/imagebuffer.h"

#include <QFile>

#include <csetjmp>
#include <jerror.h>
#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// Never exit: jump back to the decoder.
[[noreturn]] void failJump(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

// libjpeg fills data it could not read with grey and only warns; a file cut
// short is damaged. Other warnings (a few corrupt bytes) pass, as with the
// toolkit's reader.
void emitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        failJump(cinfo);
    if (level < 0)
        ++cinfo->err->num_warnings;
}

enum class Stage { Header, Decoding, Cancelled, Done };

struct Job
{
    const uchar *data = nullptr;
    unsigned long length = 0;
    qint64 maxPixels = 0;
    int minWidth = 0;
    const std::atomic<bool> *cancel = nullptr;
    JpegDecoded *result = nullptr;
    Stage stage = Stage::Header;
};

// Only trivially destructible locals here: a longjmp skips destructors. The
// image lives in the caller's result.
bool run(Job &job, jpeg_decompress_struct &cinfo, ErrorManager &err)
{
    JpegDecoded &r = *job.result;
    if (setjmp(err.jump))
        return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, job.data, job.length);
    jpeg_read_header(&cinfo, TRUE);
    r.size = QSize(int(cinfo.image_width), int(cinfo.image_height));
    if (qint64(cinfo.image_width) * cinfo.image_height > job.maxPixels) {
        r.fault = LoadFault::TooLarge;
        return true;
    }
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE && cinfo.num_components == 1;
    const bool colour = (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB)
        && cinfo.num_components == 3;
    if (!grey && !colour) {
        r.unsupported = true;
        return true;
    }
    job.stage = Stage::Decoding;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    cinfo.out_color_space = JCS_EXT_BGRX;
#else
    cinfo.out_color_space = JCS_EXT_XRGB;
#endif
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    cinfo.scale_num = 1;
    cinfo.scale_denom = unsigned(jpegReduction(int(cinfo.image_width), job.minWidth));
    jpeg_calc_output_dimensions(&cinfo);
    // Grey comes out as the toolkit's grey image widened to ARGB32 would.
    r.image = allocateImage(QSize(int(cinfo.output_width), int(cinfo.output_height)),
        grey ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (r.image.isNull()) {
        r.fault = LoadFault::NoMemory;
        return true;
    }
    jpeg_start_decompress(&cinfo);
    uchar *bits = r.image.bits();
    const qsizetype stride = r.image.bytesPerLine();
    while (cinfo.output_scanline < cinfo.output_height) {
        if (job.cancel && job.cancel->load(std::memory_order_relaxed)) {
            job.stage = Stage::Cancelled;
            return false;
        }
        JSAMPROW rows[8];
        int n = 0;
        for (; n < 8 && cinfo.output_scanline + unsigned(n) < cinfo.output_height; ++n)
            rows[n] = bits + stride * (cinfo.output_scanline + unsigned(n));
        jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n));
    }
    jpeg_finish_decompress(&cinfo);
    job.stage = Stage::Done;
    return true;
}

} // namespace

int jpegReduction(int width, int minWidth)
{
    if (minWidth <= 0)
        return 1;
    for (int denom = 8; denom > 1; denom /= 2)
        if ((width + denom - 1) / denom >= minWidth)
            return denom;
    return 1;
}

JpegDecoded decodeJpeg(
    const QString &path, qint64 maxPixels, int minWidth, const std::atomic<bool> *cancel)
{
    JpegDecoded result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.unsupported = true;
        return result;
    }
    QByteArray copy;
    const uchar *data = file.size() > 0 ? file.map(0, file.size()) : nullptr;
    if (!data) {
        copy = file.readAll();
        data = reinterpret_cast<const uchar *>(copy.constData());
    }
    Job job;
    job.data = data;
    job.length = static_cast<unsigned long>(qMax<qint64>(file.size(), copy.size()));
    job.maxPixels = maxPixels;
    job.minWidth = minWidth;
    job.cancel = cancel;
    job.result = &result;

    jpeg_decompress_struct cinfo {};
    ErrorManager err {};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = failJump;
    err.pub.emit_message = emitMessage;
    const bool finished = run(job, cinfo, err);
    jpeg_destroy_decompress(&cinfo);
    if (finished)
        return result;
    result.image = QImage();
    if (job.stage == Stage::Header) {
        // Left to the toolkit's reader, which reports it as before.
        result.unsupported = true;
        return result;
    }
    if (job.stage == Stage::Cancelled) {
        result.fault = LoadFault::Other;
        result.error = QStringLiteral("cancelled");
        return result;
    }
    result.fault = LoadFault::Damaged;
    result.error = QStringLiteral("damaged or truncated image");
    return result;
}
