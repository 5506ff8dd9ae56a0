#include "imageio/imagebuffer.h"

#include <atomic>
#include <limits>
#include <memory>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

std::atomic<bool> plainAllocation { false };

#ifdef Q_OS_LINUX
constexpr size_t kHugePage = size_t(2) << 20;
constexpr qint64 kSmallest = qint64(8) << 20;

struct Mapping
{
    void *start = nullptr;
    size_t length = 0;
};

void unmap(void *info)
{
    const std::unique_ptr<Mapping> mapping(static_cast<Mapping *>(info));
    munmap(mapping->start, mapping->length);
}

// An anonymous mapping on 2 MiB boundaries: the unaligned head and tail are
// given back, so every page of it can be a huge one.
std::unique_ptr<Mapping> mapAligned(size_t bytes)
{
    const size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void *raw = mmap(
        nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto base = reinterpret_cast<quintptr>(raw);
    const quintptr start = (base + kHugePage - 1) & ~quintptr(kHugePage - 1);
    if (start > base)
        munmap(raw, start - base);
    if (const size_t tail = base + length + kHugePage - (start + length); tail > 0)
        munmap(reinterpret_cast<void *>(start + length), tail);
    madvise(reinterpret_cast<void *>(start), length, MADV_HUGEPAGE);
    auto mapping = std::make_unique<Mapping>();
    mapping->start = reinterpret_cast<void *>(start);
    mapping->length = length;
    return mapping;
}
#endif

} // namespace

QImage allocateImage(QSize size, QImage::Format format)
{
#ifdef Q_OS_LINUX
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    if (!plainAllocation && size.width() > 0 && size.height() > 0 && depth > 0) {
        // The toolkit's own row alignment.
        const qint64 stride = ((qint64(size.width()) * depth + 31) >> 5) << 2;
        const qint64 bytes = stride * size.height();
        if (bytes >= kSmallest && stride <= std::numeric_limits<int>::max()) {
            if (std::unique_ptr<Mapping> mapping = mapAligned(size_t(bytes))) {
                QImage image(static_cast<uchar *>(mapping->start), size.width(), size.height(),
                    stride, format, unmap, mapping.get());
                if (!image.isNull()) {
                    mapping.release(); // the image's cleanup unmaps it
                    return image;
                }
                munmap(mapping->start, mapping->length);
            }
        }
    }
#endif
    return QImage(size, format);
}

void setPlainImageAllocation(bool on)
{
    plainAllocation = on;
}
