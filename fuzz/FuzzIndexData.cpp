// Index-data records against a small folder of documents: the record
// selects files that exist, whatever its numbers say.
#include "FuzzSupport.h"
#include "document/pIdxFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = [] {
        const std::string made = paxid::fuzz::ScratchFolder() + "/index/";
        std::filesystem::create_directories(made + "0000000012");
        for (const char* name : {"doc12.tif", "doc13.tif", "DOC0014.TIF", "0000000012/page.tif", "record.txt"}) {
            std::ofstream(made + name) << "x";
        }
        return made;
    }();
    const std::string index = folder + "index.dat";
    paxid::fuzz::WriteBytes(index, data, size);
    for (int record = 1; record <= 3; ++record) {
        for (const std::string& name : paxid::IndexDataChildNames(index, record)) {
            if (name.empty()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
