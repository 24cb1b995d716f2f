// Cabinet extraction of a hostile archive: nothing may appear outside the
// extraction folder, whatever the entries' names.
#include "FuzzSupport.h"
#include "document/pCabinet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = paxid::fuzz::ScratchFolder();
    const std::string archive = scratch + "/archive.paxidcab";
    const std::string folder = scratch + "/tmp/extract/";
    std::filesystem::create_directories(folder);
    paxid::fuzz::WriteBytes(archive, data, size);
    const std::set<std::string> before = paxid::fuzz::Listing(scratch);
    paxid::UnzipCabinet(archive, folder);
    for (const std::string& path : paxid::fuzz::Listing(scratch)) {
        if (!before.count(path) && path.rfind(folder, 0) != 0) {
            __builtin_trap();  // written outside the extraction folder
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_symlink() || entry.is_directory()) {
            __builtin_trap();
        }
    }
    paxid::fuzz::RemoveContents(folder);
    return 0;
}
