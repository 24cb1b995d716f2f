#include "document/pDataCrypt.h"

#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pHResult.h"
#include "foundation/pLog.h"
#include "platform/posix/FileDescriptor.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace paxid {

namespace {

// The content is decrypted in blocks of this many bytes; the last one carries the padding.
constexpr std::size_t kContentBlockSize = 4096;
// Blocks read from the package with one system call.
constexpr std::size_t kBlocksPerRead = 64;
constexpr std::uint32_t kSupportedVersion = 1;
constexpr std::uint32_t kAlgorithmTripleDes = 2;
// Time stamp (a FILETIME), read and not used.
constexpr std::size_t kTimeStampSize = 8;

struct TCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
struct TCipherFree {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
using TCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, TCipherCtxFree>;
using TCipher = std::unique_ptr<EVP_CIPHER, TCipherFree>;

// Key material, wiped when it goes.
class TSecretBytes {
public:
    TSecretBytes() = default;
    ~TSecretBytes() { Wipe(); }
    TSecretBytes(const TSecretBytes&) = delete;
    TSecretBytes& operator=(const TSecretBytes&) = delete;
    std::vector<std::uint8_t>& Bytes() { return FBytes; }
    void Wipe() {
        OPENSSL_cleanse(FBytes.data(), FBytes.size());
        FBytes.clear();
    }

private:
    std::vector<std::uint8_t> FBytes;
};

// Reads the package front to back; every length is checked against the
// bytes left before anything is allocated for it.
class TPackageReader {
public:
    explicit TPackageReader(int fd, std::int64_t size) : FFd(fd), FRemaining(size) {}

    std::int64_t Remaining() const { return FRemaining; }

    bool Read(void* buffer, std::size_t size) {
        if (static_cast<std::uint64_t>(FRemaining) < size) {
            return false;
        }
        auto* bytes = static_cast<char*>(buffer);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::read(FFd, bytes + done, size - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        FRemaining -= static_cast<std::int64_t>(size);
        return true;
    }

    bool ReadU32(std::uint32_t& value) {
        unsigned char bytes[4];
        if (!Read(bytes, 4)) {
            return false;
        }
        value = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
                std::uint32_t(bytes[3]) << 24;
        return true;
    }

    // A block of a 32-bit little-endian length followed by that many bytes.
    bool ReadBlock(std::vector<std::uint8_t>& block) {
        std::uint32_t length = 0;
        if (!ReadU32(length) || length > static_cast<std::uint64_t>(FRemaining)) {
            return false;
        }
        block.resize(length);
        return Read(block.data(), length);
    }

    bool Skip(std::size_t size) {
        if (static_cast<std::uint64_t>(FRemaining) < size) {
            return false;
        }
        if (::lseek(FFd, static_cast<off_t>(size), SEEK_CUR) < 0) {
            return false;
        }
        FRemaining -= static_cast<std::int64_t>(size);
        return true;
    }

private:
    int FFd;
    std::int64_t FRemaining;
};

struct TPackageHeader {
    std::vector<std::uint8_t> Thumbprint;
    std::vector<std::uint8_t> KeyBlock;  // as stored: least significant byte first
    std::uint32_t Algorithm = 0;
};

struct TAlgorithm {
    const char* CipherName;
    std::size_t KeyLength;
};

TAlgorithm AlgorithmFor(std::uint32_t value) {
    return value == kAlgorithmTripleDes ? TAlgorithm{"DES-EDE3-CBC", 24} : TAlgorithm{"AES-256-CBC", 32};
}

// Sets the failing step's code and text and logs it, once.
class TOutcome {
public:
    explicit TOutcome(std::string& errorText) : FErrorText(errorText) { FErrorText.clear(); }
    void Fail(std::int32_t code, const std::string& step) {
        FCode = code;
        FErrorText = "DataCrypt_Decrypt: " + step;
        WriteLog(nullptr, FErrorText + ": " + HResultHex(code));
    }
    std::int32_t Code() const { return FCode; }

private:
    std::string& FErrorText;
    std::int32_t FCode = 0;
};

// The key phase: the recipient's private key opens the key block.
bool DecryptKeyBlock(const TPackageHeader& header, const TDataCryptKeys& keys, TOutcome& outcome,
                     TSecretBytes& keyBlock) {
    TCertStore store(keys.CertFolder, keys.Prompt);
    TCertLookup lookup = store.FindByThumbprint(header.Thumbprint);
    switch (lookup.Status) {
        case TCertLookupStatus::StoreUnavailable:
            outcome.Fail(kDataCryptAccessDenied, "CertOpenSystemStore");
            return false;
        case TCertLookupStatus::CertificateNotFound:
            outcome.Fail(kDataCryptNotFound, "CertFindCertificateInStore");
            return false;
        case TCertLookupStatus::NoPrivateKey:
            outcome.Fail(kDataCryptNoKey, "CryptAcquireCertificatePrivateKey");
            return false;
        case TCertLookupStatus::Found:
            break;
    }
    if (!lookup.Key.IsRsa()) {
        outcome.Fail(kDataCryptBadKey, "CryptGetUserKey");
        return false;
    }
    // Stored in the byte order of the Windows CryptoAPI; RSA wants big-endian.
    const std::vector<std::uint8_t> bigEndian(header.KeyBlock.rbegin(), header.KeyBlock.rend());
    if (bigEndian.empty() || !lookup.Key.DecryptPkcs1(bigEndian, keyBlock.Bytes())) {
        outcome.Fail(kDataCryptBadData, "CryptDecrypt");
        return false;
    }
    return true;
}

// Checks and strips PKCS #5 padding from the decrypted last block.
bool StripPadding(std::vector<std::uint8_t>& plain, std::size_t cipherBlock) {
    if (plain.empty()) {
        return false;
    }
    const std::size_t pad = plain.back();
    if (pad == 0 || pad > cipherBlock || pad > plain.size()) {
        return false;
    }
    if (!std::all_of(plain.end() - static_cast<std::ptrdiff_t>(pad), plain.end(),
                     [pad](std::uint8_t byte) { return byte == pad; })) {
        return false;
    }
    plain.resize(plain.size() - pad);
    return true;
}

// The content phase: the rest of the package, block by block, into outputFile.
void DecryptContent(TPackageReader& reader, const TPackageHeader& header, TSecretBytes& keyBlock,
                    const std::string& outputFile, TOutcome& outcome) {
    const TAlgorithm algorithm = AlgorithmFor(header.Algorithm);
    const TCipher cipher(EVP_CIPHER_fetch(nullptr, algorithm.CipherName, nullptr));
    const TCipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!cipher || !ctx) {
        LogOpenSslErrors("DataCrypt cipher");
        outcome.Fail(kDataCryptNoProvider, "CryptAcquireContext");
        return;
    }
    const std::vector<std::uint8_t>& material = keyBlock.Bytes();
    if (material.size() < algorithm.KeyLength) {
        outcome.Fail(kDataCryptBadKey, "CryptImportKey");
        return;
    }
    const std::size_t cipherBlock = static_cast<std::size_t>(EVP_CIPHER_get_block_size(cipher.get()));
    if (material.size() - algorithm.KeyLength < static_cast<std::size_t>(EVP_CIPHER_get_iv_length(cipher.get()))) {
        outcome.Fail(kDataCryptBadData, "CryptSetKeyParam");
        return;
    }
    if (EVP_DecryptInit_ex2(ctx.get(), cipher.get(), material.data(), material.data() + algorithm.KeyLength,
                            nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        LogOpenSslErrors("DataCrypt key");
        outcome.Fail(kDataCryptBadKey, "CryptImportKey");
        return;
    }
    keyBlock.Wipe();

    ::unlink(outputFile.c_str());
    const TFileDescriptor out(
        ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_TRUNC, 0600));
    if (!out.IsOpen()) {
        WriteLog(nullptr, "DataCrypt_Decrypt: cannot create " + outputFile + ": " + std::strerror(errno));
        return;
    }
    std::vector<std::uint8_t> input(kContentBlockSize * kBlocksPerRead);
    std::vector<std::uint8_t> plain(input.size() + cipherBlock);
    while (reader.Remaining() > 0) {
        const std::size_t size = static_cast<std::size_t>(
            std::min<std::int64_t>(reader.Remaining(), static_cast<std::int64_t>(input.size())));
        if (!reader.Read(input.data(), size)) {
            WriteLog(nullptr, "DataCrypt_Decrypt: cannot read " + std::to_string(size) + " bytes of the content");
            return;
        }
        const bool final = reader.Remaining() == 0;
        // Within one read, every block but the file's last one is a whole, unpadded block.
        const std::size_t lastBlock = final ? (size % kContentBlockSize == 0 ? kContentBlockSize : size % kContentBlockSize)
                                            : 0;
        const std::size_t plainPart = size - lastBlock;
        int produced = 0;
        if (plainPart > 0 &&
            (EVP_DecryptUpdate(ctx.get(), plain.data(), &produced, input.data(), static_cast<int>(plainPart)) != 1 ||
             !WriteAll(out.Get(), reinterpret_cast<const char*>(plain.data()), static_cast<std::size_t>(produced)))) {
            LogOpenSslErrors("DataCrypt content");
            WriteLog(nullptr, "DataCrypt_Decrypt: cannot write " + outputFile);
            return;
        }
        if (!final) {
            continue;
        }
        std::vector<std::uint8_t> tail(lastBlock + cipherBlock);
        if (lastBlock % cipherBlock != 0 ||
            EVP_DecryptUpdate(ctx.get(), tail.data(), &produced, input.data() + plainPart,
                              static_cast<int>(lastBlock)) != 1) {
            LogOpenSslErrors("DataCrypt content");
            outcome.Fail(kDataCryptBadData, "CryptDecryptSym");
            return;
        }
        tail.resize(static_cast<std::size_t>(produced));
        if (!StripPadding(tail, cipherBlock)) {
            outcome.Fail(kDataCryptBadData, "CryptDecryptSym");
            return;
        }
        if (!WriteAll(out.Get(), reinterpret_cast<const char*>(tail.data()), tail.size())) {
            WriteLog(nullptr, "DataCrypt_Decrypt: cannot write " + outputFile);
        }
    }
}

}  // namespace

TDataCryptKeys DefaultDataCryptKeys() {
    TDataCryptKeys keys;
    keys.CertFolder = TCertStore::DefaultFolder();
    keys.Prompt = [](const std::string&) -> std::optional<std::string> {
        if (const char* password = std::getenv("PAXID_CERT_PASSWORD")) {
            return std::string(password);
        }
        return std::nullopt;
    };
    return keys;
}

std::int32_t DataCrypt_Decrypt(const std::string& packageFile, const std::string& outputFile, std::string& errorText) {
    return DataCrypt_Decrypt(packageFile, outputFile, errorText, DefaultDataCryptKeys());
}

std::int32_t DataCrypt_Decrypt(const std::string& packageFile, const std::string& outputFile, std::string& errorText,
                               const TDataCryptKeys& keys) {
    TOutcome outcome(errorText);
    try {
        ::unlink(outputFile.c_str());
        const TFileDescriptor package(::open(packageFile.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat info {};
        if (!package.IsOpen() || ::fstat(package.Get(), &info) != 0) {
            WriteLog(nullptr, "DataCrypt_Decrypt: cannot open " + packageFile + ": " + std::strerror(errno));
            return outcome.Code();
        }
        TPackageReader reader(package.Get(), info.st_size);
        char signature[16];
        if (!reader.Read(signature, sizeof signature) ||
            std::string_view(signature, sizeof signature) != kPackageSignature) {
            outcome.Fail(kDataCryptBadIdent, "IsIdentOk");
            return outcome.Code();
        }
        std::uint32_t version = 0;
        if (!reader.ReadU32(version)) {
            WriteLog(nullptr, "DataCrypt_Decrypt: package ends before its version");
            return outcome.Code();
        }
        if (version != kSupportedVersion) {
            outcome.Fail(kDataCryptBadVersion, "Wrong DataCrypt version");
            return outcome.Code();
        }
        TPackageHeader header;
        std::vector<std::uint8_t> unused;
        std::uint32_t reserved = 0;
        if (!reader.Skip(kTimeStampSize) || !reader.ReadBlock(header.Thumbprint) || !reader.ReadBlock(header.KeyBlock) ||
            !reader.ReadBlock(unused) || !reader.ReadBlock(unused) || !reader.ReadU32(header.Algorithm) ||
            !reader.ReadU32(reserved) || !reader.ReadU32(reserved) || !reader.ReadU32(reserved)) {
            WriteLog(nullptr, "DataCrypt_Decrypt: package ends inside its header");
            return outcome.Code();
        }
        TSecretBytes keyBlock;
        if (!DecryptKeyBlock(header, keys, outcome, keyBlock)) {
            WriteLog(nullptr, "DataCrypt_Decrypt: isKeyOk = false");
            return outcome.Code();
        }
        DecryptContent(reader, header, keyBlock, outputFile, outcome);
    } catch (const std::exception& error) {
        WriteLog(nullptr, std::string("DataCrypt_Decrypt Exception : ") + error.what());
    }
    return outcome.Code();
}

std::string DataCryptChildName(const std::string& tempDir, const std::string& fileName) {
    const std::string name = ExtractFileName(fileName);
    const std::string ext = ExtractFileExt(name);
    std::string upper = ext;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
    if (upper == ".DATACRYPT" && name.size() > ext.size()) {
        return tempDir + name.substr(0, name.size() - ext.size());
    }
    return tempDir + "pxdtmp_datacrypt_" + name;
}

}  // namespace paxid
