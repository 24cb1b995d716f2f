// The encrypted package reader on hostile packages: every length is checked
// before anything is allocated; the output stays in the temporary folder.
#include "FuzzSupport.h"
#include "document/pDataCrypt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = paxid::fuzz::ScratchFolder();
    const std::string package = scratch + "/package.datacrypt";
    const std::string output = scratch + "/tmp/package.out";
    paxid::fuzz::WriteBytes(package, data, size);
    std::string errorText;
    paxid::TDataCryptKeys keys;
    keys.CertFolder = scratch + "/certs";
    keys.Prompt = [](const std::string&) { return std::optional<std::string>("fuzz"); };
    paxid::DataCrypt_Decrypt(package, output, errorText, keys);
    std::filesystem::remove(output);
    return 0;
}
