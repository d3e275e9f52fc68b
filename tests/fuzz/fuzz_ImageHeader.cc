// libFuzzer target for the hand-written image header parsers. Not part of the
// build (the .cc suffix keeps it out of the test globs); run it with
//   tests/fuzz/run-fuzz-imageheader [SECONDS]
// Every input is parsed from memory and through an open file (the windowed
// reader the scanner uses); both must agree, and neither may crash.
#include "platform/ImageHeader.h"

#include <QString>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

class MemorySource final : public ImageHeader::Source {
public:
    MemorySource(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size) {}
    bool read(uint64_t offset, void* into, size_t length) override {
        if (offset > m_size || length > m_size - offset)
            return false;
        std::memcpy(into, m_data + offset, length);
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
};

int memoryFile() {
    static const int fd = memfd_create("fuzz-image", MFD_CLOEXEC);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource memory(data, size);
    const auto fromMemory = ImageHeader::parse(memory);

    const int fd = memoryFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        return 0;
    // An empty path: the readers of rare formats simply fail.
    const auto fromFile = ImageHeader::readOpen(fd, QString());
    if (fromMemory) {
        if (!fromFile || fromFile->width != fromMemory->width ||
            fromFile->height != fromMemory->height ||
            fromFile->orientation != fromMemory->orientation)
            std::abort();
        if (fromMemory->width <= 0 || fromMemory->height <= 0 || fromMemory->orientation < 0 ||
            fromMemory->orientation > 8)
            std::abort();
    }
    return 0;
}
