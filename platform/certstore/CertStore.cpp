#include "platform/certstore/CertStore.h"

#include "platform/diagnostics/PlatformLog.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <sys/stat.h>

namespace paxid {

namespace {

constexpr std::string_view kLogSender = "TCertStore";

struct TBioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct TX509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct TPkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct TPkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
struct TPkcs12Free {
    void operator()(PKCS12* p12) const { PKCS12_free(p12); }
};
struct TX509StackFree {
    void operator()(STACK_OF(X509) * certs) const { sk_X509_pop_free(certs, X509_free); }
};
using TBio = std::unique_ptr<BIO, TBioFree>;
using TX509 = std::unique_ptr<X509, TX509Free>;
using TPkey = std::unique_ptr<EVP_PKEY, TPkeyFree>;
using TPkeyCtx = std::unique_ptr<EVP_PKEY_CTX, TPkeyCtxFree>;
using TPkcs12 = std::unique_ptr<PKCS12, TPkcs12Free>;
using TX509Stack = std::unique_ptr<STACK_OF(X509), TX509StackFree>;

// A password held only as long as one key is opened; wiped afterwards.
class TSecret {
public:
    explicit TSecret(std::string text) : FText(std::move(text)) {}
    ~TSecret() { OPENSSL_cleanse(FText.data(), FText.size()); }
    TSecret(const TSecret&) = delete;
    TSecret& operator=(const TSecret&) = delete;
    const std::string& Text() const { return FText; }

private:
    std::string FText;
};

std::string LowerExtension(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return ext;
}

std::vector<std::uint8_t> Thumbprint(X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha1(), digest, &length) != 1) {
        LogOpenSslErrors("thumbprint");
        return {};
    }
    return std::vector<std::uint8_t>(digest, digest + length);
}

// Every certificate of a PEM file, in file order.
std::vector<TX509> PemCertificates(const std::string& file) {
    std::vector<TX509> certs;
    const TBio bio(BIO_new_file(file.c_str(), "rb"));
    if (!bio) {
        LogOpenSslErrors("open " + file);
        return certs;
    }
    while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        certs.emplace_back(cert);
    }
    ERR_clear_error();  // the end of the file reads as "no start line"
    return certs;
}

struct TPromptState {
    const TCertPasswordPrompt* Prompt = nullptr;
    const std::string* File = nullptr;
    bool Asked = false;
};

// OpenSSL asks for the password of an encrypted PEM key through this; it
// must not let an exception back into OpenSSL.
int PemPasswordCallback(char* buffer, int size, int, void* context) {
    auto* state = static_cast<TPromptState*>(context);
    try {
        if (state->Asked || !*state->Prompt) {
            return -1;
        }
        state->Asked = true;
        const std::optional<std::string> answer = (*state->Prompt)(*state->File);
        if (!answer) {
            return -1;
        }
        const TSecret secret(*answer);
        const int length = static_cast<int>(std::min<std::size_t>(secret.Text().size(), static_cast<std::size_t>(size)));
        std::memcpy(buffer, secret.Text().data(), static_cast<std::size_t>(length));
        return length;
    } catch (...) {
        return -1;
    }
}

TPkey PemPrivateKey(const std::string& file, const TCertPasswordPrompt& prompt) {
    const TBio bio(BIO_new_file(file.c_str(), "rb"));
    if (!bio) {
        return nullptr;
    }
    TPromptState state{&prompt, &file, false};
    TPkey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, PemPasswordCallback, &state));
    if (!key) {
        LogOpenSslErrors("private key of " + file);
    }
    return key;
}

enum class TFileMatch { NoMatch, Found, NoKey, Locked };

TFileMatch MatchPem(const std::string& file, const std::vector<std::uint8_t>& thumbprint,
                    const TCertPasswordPrompt& prompt, TCertPrivateKey& keyOut) {
    for (const TX509& cert : PemCertificates(file)) {
        if (Thumbprint(cert.get()) != thumbprint) {
            continue;
        }
        TPkey key = PemPrivateKey(file, prompt);
        if (!key || X509_check_private_key(cert.get(), key.get()) != 1) {
            ERR_clear_error();
            PlatformLog(kLogSender, "certificate found in " + file + " but its private key is not usable");
            return TFileMatch::NoKey;
        }
        keyOut = TCertPrivateKey(key.release());
        return TFileMatch::Found;
    }
    return TFileMatch::NoMatch;
}

TFileMatch MatchPkcs12(const std::string& file, const std::vector<std::uint8_t>& thumbprint,
                       const TCertPasswordPrompt& prompt, TCertPrivateKey& keyOut) {
    const TBio bio(BIO_new_file(file.c_str(), "rb"));
    const TPkcs12 p12(bio ? d2i_PKCS12_bio(bio.get(), nullptr) : nullptr);
    if (!p12) {
        LogOpenSslErrors("PKCS #12 file " + file);
        return TFileMatch::NoMatch;
    }
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    STACK_OF(X509)* rawChain = nullptr;
    bool opened = PKCS12_parse(p12.get(), "", &rawKey, &rawCert, &rawChain) == 1;
    if (!opened) {
        ERR_clear_error();
        const std::optional<std::string> answer = prompt ? prompt(file) : std::nullopt;
        if (answer) {
            const TSecret secret(*answer);
            opened = PKCS12_parse(p12.get(), secret.Text().c_str(), &rawKey, &rawCert, &rawChain) == 1;
        }
    }
    const TPkey key(rawKey);
    const TX509 cert(rawCert);
    const TX509Stack chain(rawChain);
    if (!opened) {
        ERR_clear_error();
        PlatformLog(kLogSender, "PKCS #12 file " + file + " did not open with the password given");
        return TFileMatch::Locked;
    }
    if (cert && Thumbprint(cert.get()) == thumbprint) {
        if (!key || X509_check_private_key(cert.get(), key.get()) != 1) {
            ERR_clear_error();
            return TFileMatch::NoKey;
        }
        EVP_PKEY_up_ref(key.get());
        keyOut = TCertPrivateKey(key.get());
        return TFileMatch::Found;
    }
    for (int i = 0; chain && i < sk_X509_num(chain.get()); ++i) {
        if (Thumbprint(sk_X509_value(chain.get(), i)) == thumbprint) {
            return TFileMatch::NoKey;  // a chain certificate: its key is someone else's
        }
    }
    return TFileMatch::NoMatch;
}

}  // namespace

TCertPrivateKey::TCertPrivateKey(evp_pkey_st* key) : FKey(key) {}

TCertPrivateKey::~TCertPrivateKey() { EVP_PKEY_free(FKey); }

TCertPrivateKey::TCertPrivateKey(TCertPrivateKey&& other) noexcept : FKey(other.FKey) { other.FKey = nullptr; }

TCertPrivateKey& TCertPrivateKey::operator=(TCertPrivateKey&& other) noexcept {
    if (this != &other) {
        EVP_PKEY_free(FKey);
        FKey = other.FKey;
        other.FKey = nullptr;
    }
    return *this;
}

bool TCertPrivateKey::IsRsa() const { return FKey != nullptr && EVP_PKEY_is_a(FKey, "RSA") == 1; }

bool TCertPrivateKey::DecryptPkcs1(const std::vector<std::uint8_t>& block, std::vector<std::uint8_t>& plain) const {
    const TPkeyCtx ctx(FKey ? EVP_PKEY_CTX_new(FKey, nullptr) : nullptr);
    std::size_t length = 0;
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_decrypt(ctx.get(), nullptr, &length, block.data(), block.size()) != 1) {
        LogOpenSslErrors("RSA key");
        return false;
    }
    plain.resize(length);
    if (EVP_PKEY_decrypt(ctx.get(), plain.data(), &length, block.data(), block.size()) != 1) {
        LogOpenSslErrors("RSA decryption");
        plain.clear();
        return false;
    }
    plain.resize(length);
    return true;
}

TCertStore::TCertStore(std::string folder, TCertPasswordPrompt prompt)
    : FFolder(std::move(folder)), FPrompt(std::move(prompt)) {
    if (!FFolder.empty() && FFolder.back() != '/') {
        FFolder += '/';
    }
}

std::string TCertStore::DefaultFolder() {
    if (const char* own = std::getenv("PAXID_CERT_DIR"); own != nullptr && *own != '\0') {
        std::string folder = own;
        return folder.back() == '/' ? folder : folder + "/";
    }
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        data = std::string(home) + "/.local/share";
    } else {
        data = "/tmp";
    }
    return data + "/Verdanta/Paxid Viewer/certs/";
}

TCertLookup TCertStore::FindByThumbprint(const std::vector<std::uint8_t>& thumbprint) {
    LoadOpenSslProviders();
    TCertLookup result;
    std::vector<std::string> files;
    {
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(FFolder.c_str()), ::closedir);
        if (!dir) {
            const int error = errno;
            PlatformLog(kLogSender, "certificate store " + FFolder + ": " + std::strerror(error));
            result.Status = error == ENOENT ? TCertLookupStatus::CertificateNotFound
                                            : TCertLookupStatus::StoreUnavailable;
            return result;
        }
        while (const dirent* entry = ::readdir(dir.get())) {
            files.emplace_back(entry->d_name);
        }
    }
    std::sort(files.begin(), files.end());
    std::string lockedFile;
    for (const std::string& name : files) {
        const std::string path = FFolder + name;
        struct stat info {};
        if (name.front() == '.' || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        const std::string ext = LowerExtension(name);
        TFileMatch match = TFileMatch::NoMatch;
        if (ext == ".p12" || ext == ".pfx") {
            match = MatchPkcs12(path, thumbprint, FPrompt, result.Key);
        } else if (ext == ".pem" || ext == ".crt" || ext == ".key" || ext == ".cer") {
            match = MatchPem(path, thumbprint, FPrompt, result.Key);
        }
        if (match == TFileMatch::Found || match == TFileMatch::NoKey) {
            result.Status = match == TFileMatch::Found ? TCertLookupStatus::Found : TCertLookupStatus::NoPrivateKey;
            result.File = path;
            return result;
        }
        if (match == TFileMatch::Locked && lockedFile.empty()) {
            lockedFile = path;
        }
    }
    // A file that stayed locked may well hold the certificate: its key is what is missing.
    result.Status = lockedFile.empty() ? TCertLookupStatus::CertificateNotFound : TCertLookupStatus::NoPrivateKey;
    result.File = lockedFile;
    return result;
}

std::vector<std::uint8_t> CertificateThumbprint(const std::string& certificateFile) {
    std::vector<TX509> certs = PemCertificates(certificateFile);
    if (!certs.empty()) {
        return Thumbprint(certs.front().get());
    }
    const TBio bio(BIO_new_file(certificateFile.c_str(), "rb"));
    const TX509 der(bio ? d2i_X509_bio(bio.get(), nullptr) : nullptr);
    ERR_clear_error();
    return der ? Thumbprint(der.get()) : std::vector<std::uint8_t>();
}

void LogOpenSslErrors(std::string_view context) {
    const char* file = nullptr;
    int line = 0;
    const char* function = nullptr;
    const char* data = nullptr;
    int flags = 0;
    while (const unsigned long code = ERR_get_error_all(&file, &line, &function, &data, &flags)) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        std::string message = "OpenSSL " + std::string(context) + ": " + text;
        if (data != nullptr && (flags & ERR_TXT_STRING) != 0 && *data != '\0') {
            message += std::string(" (") + data + ")";
        }
        PlatformLog(kLogSender, message);
    }
}

void LoadOpenSslProviders() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Process-lifetime: providers stay loaded until the program ends.
        if (OSSL_PROVIDER_load(nullptr, "default") == nullptr) {
            LogOpenSslErrors("default provider");
        }
        if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr) {
            LogOpenSslErrors("legacy provider");
        }
    });
}

}  // namespace paxid
