#include "io/PngWriter.h"

#include "io/RgbScanlines.h"

#include <png.h>

#include <csetjmp>
#include <string>
#include <vector>

namespace varrow {

namespace {

constexpr int DeflateLevel = 1;

struct TPngOutput {
    QIODevice* Device;
    bool Failed = false;
};

void WriteData(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<TPngOutput*>(png_get_io_ptr(png));
    // A failed write only marks the output: the row loop stops on it, outside libpng.
    if (!out->Failed && out->Device->write(reinterpret_cast<const char*>(data),
                                           static_cast<qint64>(size)) != qint64(size))
        out->Failed = true;
}

void Flush(png_structp) {}

void Error(png_structp png, png_const_charp message) {
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    *text = message;
    png_longjmp(png, 1);
}

void Warning(png_structp, png_const_charp) {}

// The libpng calls, kept in a frame of their own that holds nothing with a
// destructor, as libpng's error return (a long jump) requires. Returns false
// on failure; libpng's reason is in its error pointer.
bool WriteRows(png_structp png, png_infop info, int width, int height, TRgbScanlines& rows,
               std::vector<png_byte>& line, TPngOutput& output, png_text* text, int texts,
               bool& cancelled) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &output, &WriteData, &Flush);
    png_set_compression_level(png, DeflateLevel);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (texts > 0) png_set_text(png, info, text, texts);
    png_write_info(png, info);
    for (int y = 0; y < height && !output.Failed; ++y) {
        const QRgb* row = nullptr;
        try {
            row = rows.Row(y);
        } catch (const ESaveCancelled&) {
            cancelled = true;
            return false;
        }
        for (int x = 0; x < width; ++x) {
            line[static_cast<size_t>(3 * x)] = static_cast<png_byte>(qRed(row[x]));
            line[static_cast<size_t>(3 * x + 1)] = static_cast<png_byte>(qGreen(row[x]));
            line[static_cast<size_t>(3 * x + 2)] = static_cast<png_byte>(qBlue(row[x]));
        }
        png_write_row(png, line.data());
    }
    if (!output.Failed) png_write_end(png, nullptr);
    return !output.Failed;
}

} // namespace

void WritePng(const QImage& image, QIODevice& device, const TSaveProgress* progress,
              const QString& source) {
    if (image.isNull()) throw EFileWriteError("Invalid Pixel Format");
    std::string error;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, &Error, &Warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw EFileWriteError("PNG encoder: out of memory");
    }
    TRgbScanlines rows(image, progress);
    std::vector<png_byte> line(static_cast<size_t>(image.width()) * 3);
    TPngOutput output{&device};
    QByteArray key("Source"), value = source.toLatin1();
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = key.data();
    text.text = value.data();
    text.text_length = static_cast<size_t>(value.size());
    bool cancelled = false;
    const bool written = WriteRows(png, info, image.width(), image.height(), rows, line, output,
                                   &text, source.isEmpty() ? 0 : 1, cancelled);
    png_destroy_write_struct(&png, &info);
    if (cancelled) throw ESaveCancelled();
    if (output.Failed) RaiseWriteError(device);
    if (!written) throw EFileWriteError("PNG encoder: " + error);
}

} // namespace varrow
