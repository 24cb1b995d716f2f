// Collection list text: splitting into entries and the completeness test.
#include "document/pCollectionList.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const std::string& entry : paxid::CollectionListEntries(text)) {
        if (entry.empty() || static_cast<unsigned char>(entry.front()) <= ' ' ||
            static_cast<unsigned char>(entry.back()) <= ' ') {
            __builtin_trap();  // entries are trimmed and never empty
        }
    }
    paxid::CollectionListLooksComplete(text, static_cast<long long>(size));
    return 0;
}
