// The encrypted package reader on hostile packages: every length is checked
// before anything is allocated, and nothing but the output file is written.
// The recipient's key is the fixture make-seeds keeps in
// $PAXID_FUZZ_FIXTURES/datacrypt, so mutated packages reach the content.
#include "FuzzSupport.h"
#include "document/pDataCrypt.h"

namespace {

std::string RecipientStore() {
    const char* fixtures = std::getenv("PAXID_FUZZ_FIXTURES");
    if (fixtures != nullptr && *fixtures != '\0') {
        return std::string(fixtures) + "/datacrypt";
    }
    return paxid::fuzz::ScratchFolder() + "/certs";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = paxid::fuzz::ScratchFolder();
    static const std::string store = RecipientStore();
    static const std::set<std::string> storeFiles = paxid::fuzz::Listing(store);
    const std::string package = scratch + "/package.datacrypt";
    const std::string outputFolder = scratch + "/tmp";
    const std::string output = outputFolder + "/package.out";
    paxid::fuzz::WriteBytes(package, data, size);
    std::string errorText;
    paxid::TDataCryptKeys keys;
    keys.CertFolder = store;
    keys.Prompt = [](const std::string&) { return std::optional<std::string>("fuzz"); };
    paxid::DataCrypt_Decrypt(package, output, errorText, keys);
    const std::set<std::string> written = paxid::fuzz::Listing(outputFolder);
    if (written.size() > 1 || (written.size() == 1 && *written.begin() != output) ||
        paxid::fuzz::Listing(store) != storeFiles) {
        __builtin_trap();
    }
    std::filesystem::remove(output);
    return 0;
}
