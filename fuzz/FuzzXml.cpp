// The XML e-document unpacker, stylesheets included: no network, no file
// outside the temporary folder.
#include "FuzzSupport.h"
#include "document/pXMLTools.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = paxid::fuzz::ScratchFolder();
    const std::string file = scratch + "/edoc.xml";
    paxid::fuzz::WriteBytes(file, data, size);
    const std::set<std::string> before = paxid::fuzz::Listing(scratch);
    paxid::TXml xml([](const std::string&, std::uintptr_t) { return std::string(); },
                    [](const std::string&, const std::string&) {});
    try {
        xml.Unpack(file);
    } catch (const std::exception&) {
        // an unpacking failure is the expansion's fallback, not a fault
    }
    const std::string temp = scratch + "/tmp/";
    for (const std::string& path : paxid::fuzz::Listing(scratch)) {
        if (!before.count(path) && path.rfind(temp, 0) != 0) {
            __builtin_trap();
        }
    }
    paxid::fuzz::RemoveContents(temp);
    return 0;
}
