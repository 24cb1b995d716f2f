// Decrypting a large AES-256 package against `openssl enc -d -aes-256-cbc`
// on the same content, and the memory the decryption adds.
// Usage: decrypt_bench [MiB]   (default 1024; PAXID_BENCH_DIR picks the disk)

#include "ContainerBenchSupport.h"
#include "document/pDataCrypt.h"
#include "foundation/pContentTypes.h"

#include <algorithm>
#include <cstdio>

using namespace paxid;
using namespace paxid::bench;

namespace {

std::string U32(std::uint32_t value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                       static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t totalMiB = SizeMiB(argc, argv);
    TBenchFolder folder;
    const std::string store = folder / "store";
    std::filesystem::create_directories(store);
    const std::string cert = folder / "cert.pem";
    const std::string key = folder / "key.pem";
    if (Shell("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=bench -days 1 -keyout " + Quoted(key) + " -out " +
              Quoted(cert) + " 2>/dev/null") != 0) {
        std::fprintf(stderr, "decrypt_bench: openssl cannot make a key\n");
        return 1;
    }
    Shell("cat " + Quoted(cert) + " " + Quoted(key) + " > " + Quoted(store + "/me.pem"));

    std::string keyIv(48, '\0');
    for (std::size_t i = 0; i < keyIv.size(); ++i) {
        keyIv[i] = static_cast<char>(i * 37 + 11);
    }
    {
        std::ofstream(folder / "keyiv.bin", std::ios::binary) << keyIv;
        std::ofstream plain(folder / "plain.bin", std::ios::binary);
        AppendRandom(plain, totalMiB << 20, 42);
    }
    Shell("openssl pkeyutl -encrypt -certin -inkey " + Quoted(cert) + " -in " + Quoted(folder / "keyiv.bin") +
          " -out " + Quoted(folder / "keyblock.bin"));
    Shell("openssl x509 -in " + Quoted(cert) + " -outform DER -out " + Quoted(folder / "cert.der"));
    Shell("openssl dgst -sha1 -binary -out " + Quoted(folder / "thumb.bin") + " " + Quoted(folder / "cert.der"));
    const std::string cipherArgs = " -aes-256-cbc -K " + Hex(keyIv.substr(0, 32)) + " -iv " + Hex(keyIv.substr(32));
    const std::string content = folder / "content.bin";
    Shell("openssl enc" + cipherArgs + " -in " + Quoted(folder / "plain.bin") + " -out " + Quoted(content));

    std::string keyBlock = ReadAll(folder / "keyblock.bin");
    std::reverse(keyBlock.begin(), keyBlock.end());
    const std::string thumbprint = ReadAll(folder / "thumb.bin");
    const std::string package = folder / "document.datacrypt";
    {
        std::ofstream out(package, std::ios::binary);
        out << std::string(kPackageSignature) << U32(1) << std::string(8, '\0') << U32(20) << thumbprint
            << U32(static_cast<std::uint32_t>(keyBlock.size())) << keyBlock << U32(0) << U32(0) << U32(1) << U32(0)
            << U32(0) << U32(0);
    }
    Shell("cat " + Quoted(content) + " >> " + Quoted(package));
    std::filesystem::remove(folder / "plain.bin");
    std::printf("decrypt_bench: %llu MiB in %s\n", static_cast<unsigned long long>(totalMiB), folder.Path().c_str());

    const std::string referenceOut = folder / "reference.out";
    const double opensslSeconds = Seconds(
        [&] { Shell("openssl enc -d" + cipherArgs + " -in " + Quoted(content) + " -out " + Quoted(referenceOut)); });
    std::filesystem::remove(referenceOut);

    const TDataCryptKeys keys{store, {}};
    const std::string ownOut = folder / "own.out";
    std::string errorText;
    std::int32_t code = 0;
    const long memoryBefore = PeakResidentKiB();
    const double ownSeconds = Seconds([&] { code = DataCrypt_Decrypt(package, ownOut, errorText, keys); });
    const long memoryAfter = PeakResidentKiB();
    const double mib = static_cast<double>(totalMiB);
    std::printf("decrypt: openssl enc -d %.2f s (%.0f MiB/s), DataCrypt_Decrypt %.2f s (%.0f MiB/s), code %d\n",
                opensslSeconds, mib / opensslSeconds, ownSeconds, mib / ownSeconds, code);
    std::printf("throughput ratio %.3f (target >= 0.8); peak memory grew by %ld KiB\n", opensslSeconds / ownSeconds,
                memoryAfter - memoryBefore);
    return code == 0 && std::filesystem::file_size(ownOut) == (totalMiB << 20) ? 0 : 1;
}
