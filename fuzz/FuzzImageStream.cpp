// The progressive decoder fed in chunks whose sizes the input chooses: the
// first two bytes seed the chunk sizes, the rest is the file.
#include "retrieval/pImageStream.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    unsigned seed = static_cast<unsigned>(data[0]) << 8 | data[1];
    data += 2;
    size -= 2;
    paxid::TImageStream stream;
    int lastPage = 0;
    stream.OnLastRow = [&lastPage](const std::string&, const paxid::TImageFileInfo&, paxid::TBitmap&) { ++lastPage; };
    stream.Initialize();
    std::size_t offset = 0;
    while (offset < size) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t chunk = std::min<std::size_t>(size - offset, 1 + (seed >> 16) % 4096);
        stream.FeedData(data + offset, chunk);
        offset += chunk;
    }
    stream.Finalize();
    if (lastPage != stream.PagesDelivered()) {
        __builtin_trap();
    }
    return 0;
}
