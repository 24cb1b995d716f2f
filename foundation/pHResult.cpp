#include "foundation/pHResult.h"

#include <cstdio>

namespace paxid {

std::string HResultHex(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(result));
    return text;
}

}  // namespace paxid
