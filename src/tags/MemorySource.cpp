#include "tags/MemorySource.h"

#include <algorithm>
#include <cstring>

std::size_t TMemorySource::Read(std::uint8_t* buffer, std::size_t count) {
    const std::size_t n = std::min(count, Bytes.size() - Offset);
    if (n != 0)
        std::memcpy(buffer, Bytes.data() + Offset, n);
    Offset += n;
    return n;
}

bool TMemorySource::Seek(std::uint64_t position) {
    if (position > Bytes.size())
        return false;
    Offset = static_cast<std::size_t>(position);
    return true;
}
