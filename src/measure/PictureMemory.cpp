#include "PictureMemory.h"

#include <cstddef>
#include <new>

#if defined(__unix__)
#include <sys/mman.h>
#define VARROW_MAP_PICTURES 1
#endif

namespace varrow {

namespace {

// Below this, the allocator's own memory does as well.
constexpr std::size_t OwnMappingBytes = std::size_t(32) << 20;

#ifdef VARROW_MAP_PICTURES
struct TMapping {
    void* Address;
    std::size_t Bytes;
};

void Unmap(void* info) {
    auto* mapping = static_cast<TMapping*>(info);
    munmap(mapping->Address, mapping->Bytes);
    delete mapping;
}
#endif

} // namespace

QImage NewMapPicture(int width, int height) {
    if (width <= 0 || height <= 0) return QImage();
    const qsizetype line = qsizetype(width) * 4;
    const std::size_t bytes = std::size_t(line) * std::size_t(height);
#ifdef VARROW_MAP_PICTURES
    if (bytes >= OwnMappingBytes) {
        void* address =
            mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED) return QImage();
#ifdef MADV_HUGEPAGE
        madvise(address, bytes, MADV_HUGEPAGE); // only advice: 4 KB pages otherwise
#endif
        auto* mapping = new (std::nothrow) TMapping{address, bytes};
        if (!mapping) {
            munmap(address, bytes);
            return QImage();
        }
        QImage image(static_cast<uchar*>(address), width, height, line, QImage::Format_RGB32,
                     Unmap, mapping);
        if (image.isNull()) Unmap(mapping);
        return image;
    }
#endif
    return QImage(width, height, QImage::Format_RGB32);
}

} // namespace varrow
