#include "users/JpegPicture.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <memory>

#include <QFile>

namespace kelvora {

namespace {

// libjpeg's default error handler calls exit(); ours jumps back out of the decoder instead.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

[[noreturn]] void leaveDecoder(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1);
}

void ignoreMessage(j_common_ptr) {}

// Runs between setjmp and longjmp, so it holds no objects with destructors: the image is owned outside.
bool decodeInto(jpeg_decompress_struct& info, const QByteArray& bytes, QImage& image) {
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        return false;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
    if (image.isNull())
        return false;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

QImage JpegPicture::decode(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return {};
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = leaveDecoder;
    errors.base.output_message = ignoreMessage;
    jpeg_create_decompress(&info);
    auto image = std::make_unique<QImage>();
    bool decoded = false;
    if (setjmp(errors.escape) == 0)
        decoded = decodeInto(info, bytes, *image);
    jpeg_destroy_decompress(&info);
    return decoded ? *image : QImage();
}

QImage JpegPicture::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return decode(file.readAll());
}

} // namespace kelvora
