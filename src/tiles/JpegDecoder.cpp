#include "JpegDecoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace varrow {

namespace {

struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1);
}

// Warnings (a truncated file, extraneous bytes) do not stop the decoding, as
// with Qt's reader: the picture is kept as far as it goes.
void SilentMessage(j_common_ptr) {}

bool Supported(J_COLOR_SPACE space) {
    return space == JCS_GRAYSCALE || space == JCS_YCbCr || space == JCS_RGB;
}

// Everything the decoder touches lives in the caller, so that the long jump
// of an error skips no C++ destructor.
TJpegResult Decode(jpeg_decompress_struct& info, TJpegError& error, const QByteArray& body,
                   QSize required, QImage& image, QSize& size) {
    if (setjmp(error.Jump)) return TJpegResult::Failed;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(body.constData()),
                 static_cast<unsigned long>(body.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return TJpegResult::Failed;
    size = QSize(static_cast<int>(info.image_width), static_cast<int>(info.image_height));
    if (required.isValid() && size != required) return TJpegResult::WrongSize;
    if (!Supported(info.jpeg_color_space)) return TJpegResult::Unsupported;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    info.out_color_space = JCS_EXT_BGRA; // 0xAARRGGBB in memory order, alpha 255
#else
    info.out_color_space = JCS_EXT_ARGB;
#endif
    if (!image.isNull() && image.size() == size && image.format() == QImage::Format_RGB32 &&
        image.isDetached()) {
        // A buffer of the right shape is reused: no fresh pages to fault in.
    } else {
        image = QImage(size, QImage::Format_RGB32);
        if (image.isNull()) return TJpegResult::Failed;
    }
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return TJpegResult::Decoded;
}

} // namespace

TJpegResult DecodeJpeg(const QByteArray& body, QSize required, QImage& image, QSize& size) {
    jpeg_decompress_struct info{};
    TJpegError error{};
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = ErrorExit;
    error.Manager.output_message = SilentMessage;
    const TJpegResult result = Decode(info, error, body, required, image, size);
    jpeg_destroy_decompress(&info);
    return result;
}

} // namespace varrow
