#include "io/GifWriter.h"

#include "io/ColourQuantiser.h"
#include "io/AtomicFile.h"
#include "io/RgbScanlines.h"

#include <QBuffer>

#include <gif_lib.h>

#include <memory>
#include <vector>

namespace varrow {

namespace {

struct TGifOutput {
    QIODevice* Device;
    bool Failed = false;
};

int WriteToDevice(GifFileType* gif, const GifByteType* data, int length) {
    auto* output = static_cast<TGifOutput*>(gif->UserData);
    if (output->Failed) return 0;
    const qint64 written = output->Device->write(reinterpret_cast<const char*>(data), length);
    if (written != length) {
        output->Failed = true;
        return 0;
    }
    return length;
}

struct TMapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// The file owns the open giflib handle; closing it flushes the last bytes, so a failure to
// close is a failure to write.
class TGifFile {
public:
    explicit TGifFile(TGifOutput& output) {
        int error = 0;
        Gif = EGifOpen(&output, WriteToDevice, &error);
        if (!Gif) throw EFileWriteError(std::string("GIF encoder: ") + GifErrorString(error));
    }
    ~TGifFile() {
        if (Gif) EGifCloseFile(Gif, nullptr);
    }
    TGifFile(const TGifFile&) = delete;
    TGifFile& operator=(const TGifFile&) = delete;

    GifFileType* Handle() const { return Gif; }
    int Close() {
        int error = 0;
        const int result = EGifCloseFile(Gif, &error);
        Gif = nullptr;
        return result == GIF_OK ? 0 : error;
    }

private:
    GifFileType* Gif = nullptr;
};

int BitsFor(std::size_t colours) {
    int bits = 1;
    while ((std::size_t{1} << bits) < colours)
        ++bits;
    return bits;
}

} // namespace

void WriteGif(const QImage& image, QIODevice& device, const TSaveProgress* progress) {
    if (image.isNull()) throw EFileWriteError("Invalid Pixel Format");
    const int width = image.width();
    const int height = image.height();
    if (width > 0xffff || height > 0xffff)
        throw EFileWriteError("The picture is too large for a GIF file");

    TRgbScanlines rows(image, progress, 2); // counted, then written
    TColourQuantiser quantiser;
    for (int y = 0; y < height; ++y)
        quantiser.AddPixels(rows.Row(y), width);
    quantiser.Build(256);

    // giflib wants a power-of-two colour table; the spare entries stay black.
    const std::vector<QRgb>& palette = quantiser.Palette();
    const int bits = BitsFor(palette.size());
    std::vector<GifColorType> colours(std::size_t{1} << bits, GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < palette.size(); ++i)
        colours[i] = GifColorType{static_cast<GifByteType>(qRed(palette[i])),
                                  static_cast<GifByteType>(qGreen(palette[i])),
                                  static_cast<GifByteType>(qBlue(palette[i]))};
    std::unique_ptr<ColorMapObject, TMapDeleter> map(
        GifMakeMapObject(static_cast<int>(colours.size()), colours.data()));
    if (!map) throw EFileWriteError("GIF encoder: out of memory");

    TGifOutput output{&device};
    TGifFile gif(output);
    auto check = [&](int result) {
        if (result == GIF_OK) return;
        if (output.Failed) RaiseWriteError(device);
        throw EFileWriteError(std::string("GIF encoder: ") + GifErrorString(gif.Handle()->Error));
    };
    check(EGifPutScreenDesc(gif.Handle(), width, height, bits, 0, map.get()));
    check(EGifPutImageDesc(gif.Handle(), 0, 0, width, height, false, nullptr));
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        quantiser.Map(rows.Row(y), width, line.data());
        check(EGifPutLine(gif.Handle(), line.data(), width));
    }
    if (const int error = gif.Close()) {
        if (output.Failed) RaiseWriteError(device);
        throw EFileWriteError(std::string("GIF encoder: ") + GifErrorString(error));
    }
}

QByteArray EncodeGif(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    WriteGif(image, buffer);
    return bytes;
}

} // namespace varrow
