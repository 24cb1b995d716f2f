#include "document/pDataCrypt.h"

#include "containers/ContainerTestSupport.h"
#include "foundation/pContentTypes.h"
#include "foundation/pLog.h"

#include <gtest/gtest.h>

#include <random>

namespace paxid {
namespace {

using test::CommandOutput;
using test::Quoted;
using test::ReadFile;
using test::RunCommand;
using test::TScratchFolder;
using test::WriteFile;

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::string U32(std::uint32_t value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                       static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

// One recipient: an RSA key and a self-signed certificate made by the openssl
// tool, shared by every test of the suite (key generation is the slow part).
struct TRecipient {
    std::string CertPem;
    std::string KeyPem;
    std::string Thumbprint;  // raw SHA-1 of the DER certificate, as the openssl tool computes it
};

class DataCryptTest : public test::TTempFolderTest {
protected:
    static void SetUpTestSuite() {
        FKeys = new TScratchFolder();
        FRecipient = MakeRecipient("recipient");
        FStranger = MakeRecipient("stranger");
    }
    static void TearDownTestSuite() {
        delete FKeys;
        FKeys = nullptr;
    }

    static TRecipient MakeRecipient(const std::string& name) {
        TRecipient recipient{*FKeys / (name + "-cert.pem"), *FKeys / (name + "-key.pem"), {}};
        EXPECT_EQ(RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=" + name + " -days 2 -keyout " +
                             Quoted(recipient.KeyPem) + " -out " + Quoted(recipient.CertPem) + " 2>/dev/null"),
                  0);
        std::string fingerprint =
            CommandOutput("openssl x509 -noout -fingerprint -sha1 -in " + Quoted(recipient.CertPem));
        fingerprint = fingerprint.substr(fingerprint.find('=') + 1);
        std::string hex;
        for (const char c : fingerprint) {
            if (std::isxdigit(static_cast<unsigned char>(c))) {
                hex += c;
            }
        }
        recipient.Thumbprint = FromHex(hex);
        return recipient;
    }

    void SetUp() override {
        FStore = FWork / "store";
        std::filesystem::create_directories(FStore);
    }

    // The recipient's certificate and key in one PEM file of the store.
    void StorePem(const TRecipient& recipient) {
        WriteFile(FStore + "/me.pem", ReadFile(recipient.CertPem) + ReadFile(recipient.KeyPem));
    }

    TDataCryptKeys Keys(std::optional<std::string> password = std::nullopt) {
        return TDataCryptKeys{FStore, [this, password](const std::string& file) {
                                  FPrompted.push_back(file);
                                  return password;
                              }};
    }

    // A package as the sending system writes it: key and IV encrypted with the
    // recipient's public key (PKCS #1 v1.5), stored least significant byte first.
    std::string MakePackage(const std::string& plain, std::uint32_t algorithm, const TRecipient& recipient,
                            bool reverseKeyBlock = true) {
        const bool tripleDes = algorithm == 2;
        const std::string key = RandomBytes(tripleDes ? 24 : 32, 7);
        const std::string iv = RandomBytes(tripleDes ? 8 : 16, 9);
        WriteFile(FWork / "keyiv.bin", key + iv);
        EXPECT_EQ(RunCommand("openssl pkeyutl -encrypt -certin -inkey " + Quoted(recipient.CertPem) + " -in " +
                             Quoted(FWork / "keyiv.bin") + " -out " + Quoted(FWork / "keyblock.bin")),
                  0);
        std::string keyBlock = ReadFile(FWork / "keyblock.bin");
        if (reverseKeyBlock) {
            std::reverse(keyBlock.begin(), keyBlock.end());
        }
        WriteFile(FWork / "plain.bin", plain);
        EXPECT_EQ(RunCommand(std::string("openssl enc -") + (tripleDes ? "des-ede3-cbc" : "aes-256-cbc") + " -K " +
                             Hex(key) + " -iv " + Hex(iv) + " -in " + Quoted(FWork / "plain.bin") + " -out " +
                             Quoted(FWork / "content.bin")),
                  0);
        return std::string(kPackageSignature) + U32(1) + std::string(8, '\x11') + U32(20) + recipient.Thumbprint +
               U32(static_cast<std::uint32_t>(keyBlock.size())) + keyBlock + U32(3) + "abc" + U32(0) +
               U32(algorithm) + U32(0) + U32(0) + U32(0) + ReadFile(FWork / "content.bin");
    }

    std::int32_t Decrypt(const std::string& package, const TDataCryptKeys& keys) {
        WriteFile(FWork / "in.datacrypt", package);
        return DataCrypt_Decrypt(FWork / "in.datacrypt", FOutput, FErrorText, keys);
    }

    static bool LogHas(const std::string& line) {
        for (const std::string& logged : LogLines()) {
            if (logged.find(line) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    static TScratchFolder* FKeys;
    static TRecipient FRecipient;
    static TRecipient FStranger;
    std::string FStore;
    std::string FOutput = FWork / "out.bin";
    std::string FErrorText = "stale";
    std::vector<std::string> FPrompted;
};

TScratchFolder* DataCryptTest::FKeys = nullptr;
TRecipient DataCryptTest::FRecipient;
TRecipient DataCryptTest::FStranger;

TEST_F(DataCryptTest, BothAlgorithmsDecryptContentOfEveryLength) {
    StorePem(FRecipient);
    struct TCase {
        std::uint32_t Algorithm;
        std::size_t PlainSize;
    };
    // Ciphertexts of 4096 x k bytes end with a full final block; 262143 fills one read exactly.
    const std::vector<TCase> cases = {{0, 0},    {0, 1},    {1, 4095}, {3, 4096},      {0, 8191},
                                      {0, 262143}, {0, 270000}, {2, 0}, {2, 4095}, {2, 12345}};
    for (const TCase& row : cases) {
        SCOPED_TRACE("algorithm " + std::to_string(row.Algorithm) + ", " + std::to_string(row.PlainSize) + " bytes");
        const std::string plain = RandomBytes(row.PlainSize, static_cast<unsigned>(row.PlainSize));
        EXPECT_EQ(Decrypt(MakePackage(plain, row.Algorithm, FRecipient), Keys()), 0);
        EXPECT_EQ(FErrorText, "");
        EXPECT_TRUE(std::filesystem::exists(FOutput));
        EXPECT_TRUE(ReadFile(FOutput) == plain);
    }
    EXPECT_TRUE(FPrompted.empty()) << "an unencrypted key needs no password";
}

TEST_F(DataCryptTest, KeysComeFromPkcs12AndEncryptedPemFilesWithThePassword) {
    struct TCase {
        const char* Name;
        std::string Command;  // writes the store file
    };
    const std::string cert = Quoted(FRecipient.CertPem);
    const std::string key = Quoted(FRecipient.KeyPem);
    const std::vector<TCase> cases = {
        {"PKCS #12 of today", "openssl pkcs12 -export -in " + cert + " -inkey " + key + " -passout pass:s3cret-pw -out " +
                                  Quoted(FStore + "/me.p12")},
        {"legacy PKCS #12 (RC2-40, 3DES)", "openssl pkcs12 -export -legacy -in " + cert + " -inkey " + key +
                                               " -passout pass:s3cret-pw -out " + Quoted(FStore + "/old.PFX")},
        {"PEM with an encrypted key", "(cat " + cert + "; openssl pkey -in " + key +
                                          " -aes256 -passout pass:s3cret-pw) > " + Quoted(FStore + "/me.pem")},
    };
    const std::string package = MakePackage("the document", 0, FRecipient);
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        std::filesystem::remove_all(FStore);
        std::filesystem::create_directories(FStore);
        ASSERT_EQ(RunCommand(row.Command), 0);
        FPrompted.clear();
        EXPECT_EQ(Decrypt(package, Keys("s3cret-pw")), 0);
        EXPECT_EQ(ReadFile(FOutput), "the document");
        EXPECT_EQ(FPrompted.size(), 1u);

        FPrompted.clear();
        EXPECT_EQ(Decrypt(package, Keys("wrong")), kDataCryptNoKey);
        EXPECT_EQ(FErrorText, "DataCrypt_Decrypt: CryptAcquireCertificatePrivateKey");
        EXPECT_FALSE(std::filesystem::exists(FOutput));
        EXPECT_EQ(Decrypt(package, Keys(std::nullopt)), kDataCryptNoKey) << "the user declined the prompt";
    }
    for (const std::string& line : LogLines()) {
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << "no password reaches the log: " << line;
    }
}

TEST_F(DataCryptTest, KeyPhaseFailuresGiveTheirCodeTextAndLogLines) {
    struct TCase {
        const char* Name;
        std::function<void()> PrepareStore;
        bool ReverseKeyBlock;
        std::int32_t Code;
        const char* Text;
    };
    const std::vector<TCase> cases = {
        {"store without the certificate", [this] { StorePem(FStranger); }, true, kDataCryptNotFound,
         "DataCrypt_Decrypt: CertFindCertificateInStore"},
        {"no store folder at all", [this] { std::filesystem::remove_all(FStore); }, true, kDataCryptNotFound,
         "DataCrypt_Decrypt: CertFindCertificateInStore"},
        {"a store that cannot be listed",
         [this] {
             std::filesystem::remove_all(FStore);
             WriteFile(FStore, "a file where the folder should be");
         },
         true, kDataCryptAccessDenied, "DataCrypt_Decrypt: CertOpenSystemStore"},
        {"certificate without its key", [this] { WriteFile(FStore + "/c.crt", ReadFile(FRecipient.CertPem)); }, true,
         kDataCryptNoKey, "DataCrypt_Decrypt: CryptAcquireCertificatePrivateKey"},
        {"certificate with another key",
         [this] { WriteFile(FStore + "/mixed.pem", ReadFile(FRecipient.CertPem) + ReadFile(FStranger.KeyPem)); }, true,
         kDataCryptNoKey, "DataCrypt_Decrypt: CryptAcquireCertificatePrivateKey"},
        {"key block in RSA's own byte order", [this] { StorePem(FRecipient); }, false, kDataCryptBadData,
         "DataCrypt_Decrypt: CryptDecrypt"},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        std::filesystem::remove_all(FStore);
        std::filesystem::create_directories(FStore);
        row.PrepareStore();
        EXPECT_EQ(Decrypt(MakePackage("x", 0, FRecipient, row.ReverseKeyBlock), Keys()), row.Code);
        EXPECT_EQ(FErrorText, row.Text);
        EXPECT_FALSE(std::filesystem::exists(FOutput));
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(row.Code));
        EXPECT_TRUE(LogHas(std::string(row.Text) + ": " + hex));
        EXPECT_TRUE(LogHas("DataCrypt_Decrypt: isKeyOk = false"));
    }
}

TEST_F(DataCryptTest, SignatureAndVersionAreCheckedFirst) {
    StorePem(FRecipient);
    const std::string good = MakePackage("content", 0, FRecipient);
    std::string wrongVersion = good;
    wrongVersion[16] = 2;
    std::string wrongSignature = good;
    wrongSignature[10] = 'x';
    WriteFile(FOutput, "an old output");
    EXPECT_EQ(Decrypt(wrongVersion, Keys()), -2);
    EXPECT_EQ(FErrorText, "DataCrypt_Decrypt: Wrong DataCrypt version");
    EXPECT_TRUE(LogHas("DataCrypt_Decrypt: Wrong DataCrypt version: FFFFFFFE"));
    EXPECT_FALSE(std::filesystem::exists(FOutput)) << "the old output is deleted, no new one is made";
    EXPECT_EQ(Decrypt(wrongSignature, Keys()), -1);
    EXPECT_EQ(FErrorText, "DataCrypt_Decrypt: IsIdentOk");
    EXPECT_TRUE(LogHas("DataCrypt_Decrypt: IsIdentOk: FFFFFFFF"));
    EXPECT_EQ(Decrypt("short", Keys()), -1);
    EXPECT_EQ(DataCrypt_Decrypt(FWork / "missing.datacrypt", FOutput, FErrorText, Keys()), 0);
    EXPECT_EQ(FErrorText, "");
}

TEST_F(DataCryptTest, TruncatedHeadersEndWithTheCodeReachedAndNoOutput) {
    StorePem(FRecipient);
    const std::string good = MakePackage("content", 0, FRecipient);
    const std::size_t headerEnd = good.size() - 16;  // one AES block of content
    for (std::size_t cut = 16; cut < headerEnd; cut += 7) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        EXPECT_EQ(Decrypt(good.substr(0, cut), Keys()), 0);
        EXPECT_EQ(FErrorText, "");
        EXPECT_FALSE(std::filesystem::exists(FOutput));
    }
    // A length field far beyond the file is refused before anything is allocated.
    std::string huge = good.substr(0, 16 + 4 + 8) + U32(0xFFFFFFF0u) + good.substr(32);
    EXPECT_EQ(Decrypt(huge, Keys()), 0);
    EXPECT_FALSE(std::filesystem::exists(FOutput));
}

TEST_F(DataCryptTest, DamagedContentKeepsThePartDecryptedSoFar) {
    StorePem(FRecipient);
    const std::string plain = RandomBytes(12300, 3);
    const std::string good = MakePackage(plain, 0, FRecipient);
    struct TCase {
        const char* Name;
        std::string Package;
        std::size_t KeptBytes;  // the blocks before the final one
    };
    std::string badPadding = good;
    badPadding.back() = static_cast<char>(badPadding.back() ^ 0x01);
    const std::vector<TCase> cases = {
        {"cut inside the last cipher block", good.substr(0, good.size() - 8), 3 * 4096},
        {"padding that does not check", badPadding, 3 * 4096},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(Decrypt(row.Package, Keys()), kDataCryptBadData);
        EXPECT_EQ(FErrorText, "DataCrypt_Decrypt: CryptDecryptSym");
        EXPECT_TRUE(ReadFile(FOutput) == plain.substr(0, row.KeptBytes));
    }
}

TEST_F(DataCryptTest, OutputNeverFollowsALinkPlantedAtItsName) {
    StorePem(FRecipient);
    const std::string precious = FWork / "precious.txt";
    WriteFile(precious, "keep me");
    std::filesystem::create_symlink(precious, FOutput);
    EXPECT_EQ(Decrypt(MakePackage("secret content", 2, FRecipient), Keys()), 0);
    EXPECT_EQ(ReadFile(precious), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(FOutput));
    EXPECT_EQ(ReadFile(FOutput), "secret content");
}

TEST_F(DataCryptTest, DefaultKeysUseTheOwnStoreFolderAndThePasswordVariable) {
    const test::TScopedEnv certDir("PAXID_CERT_DIR", FStore);
    const test::TScopedEnv password("PAXID_CERT_PASSWORD", std::string("from-env"));
    const TDataCryptKeys keys = DefaultDataCryptKeys();
    EXPECT_EQ(keys.CertFolder, FStore + "/");
    EXPECT_EQ(keys.Prompt("any.p12"), std::optional<std::string>("from-env"));
    {
        const test::TScopedEnv noDir("PAXID_CERT_DIR", std::nullopt);
        const test::TScopedEnv data("XDG_DATA_HOME", std::string("/data"));
        EXPECT_EQ(TCertStore::DefaultFolder(), "/data/Verdanta/Paxid Viewer/certs/");
    }
    StorePem(FRecipient);
    WriteFile(FWork / "in.datacrypt", MakePackage("via defaults", 0, FRecipient));
    EXPECT_EQ(DataCrypt_Decrypt(FWork / "in.datacrypt", FOutput, FErrorText), 0);
    EXPECT_EQ(ReadFile(FOutput), "via defaults");
}

TEST(DataCryptNames, OutputNamesFollowThePackageExtension) {
    struct TCase {
        const char* Package;
        const char* Child;
    };
    const std::vector<TCase> cases = {
        {"/dl/report.pdf.datacrypt", "/t/report.pdf"},
        {"/dl/b.DATACRYPT", "/t/b"},
        {"/dl/x.DataCrypt", "/t/x"},
        {"/dl/b.bin", "/t/pxdtmp_datacrypt_b.bin"},
        {"/dl/noext", "/t/pxdtmp_datacrypt_noext"},
        {"/dl/.datacrypt", "/t/pxdtmp_datacrypt_.datacrypt"},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Package);
        EXPECT_EQ(DataCryptChildName("/t/", row.Package), row.Child);
    }
}

}  // namespace
}  // namespace paxid
