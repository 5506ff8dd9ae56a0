// libjpeg on its own, the codec floor the benchmarks measure against: a JPEG
// decoded from memory into a buffer that is already mapped (its pages paid
// for by an earlier run), and an image encoded with the library's defaults.
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

inline void libjpegDecode(const QByteArray &bytes, std::vector<JSAMPLE> &pixels)
{
    jpeg_decompress_struct c {};
    jpeg_error_mgr err {};
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, reinterpret_cast<const uchar *>(bytes.constData()),
        static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&c);
    pixels.resize(size_t(c.output_width) * c.output_height * 4);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = &pixels[size_t(c.output_scanline) * c.output_width * 4];
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
}

// The encoded size in bytes.
inline unsigned long libjpegEncode(const QImage &image, int quality)
{
    unsigned char *out = nullptr;
    unsigned long length = 0;
    jpeg_compress_struct c {};
    jpeg_error_mgr err {};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &length);
    c.image_width = JDIMENSION(image.width());
    c.image_height = JDIMENSION(image.height());
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        auto row = const_cast<JSAMPROW>(image.constScanLine(int(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::free(out);
    return length;
}
