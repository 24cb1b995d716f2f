// Typing of a local file by its name and first bytes. The first byte picks
// the extension, the rest is the file.
#include "FuzzSupport.h"
#include "foundation/pContentTypes.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::array<const char*, 10> kExtensions{".dat", ".DAT", ".pdf", ".tif", ".xml",
                                                             ".paxid", ".bin", "", ".datacrypt", ".txt"};
    if (size == 0) {
        return 0;
    }
    const std::string path = paxid::fuzz::ScratchFolder() + "/probe" + kExtensions[data[0] % kExtensions.size()];
    paxid::fuzz::WriteBytes(path, data + 1, size - 1);
    paxid::DetectContentType(path);
    return 0;
}
