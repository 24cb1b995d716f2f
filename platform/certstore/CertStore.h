#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct evp_pkey_st;

namespace paxid {

// Asks the user for the password of one key file (its full path); nothing
// when the user declines. The answer is used once and never logged.
using TCertPasswordPrompt = std::function<std::optional<std::string>(const std::string& keyFile)>;

// The private key of a certificate from the store. Move-only owner of the key.
class TCertPrivateKey {
public:
    TCertPrivateKey() = default;
    explicit TCertPrivateKey(evp_pkey_st* key);
    ~TCertPrivateKey();
    TCertPrivateKey(TCertPrivateKey&& other) noexcept;
    TCertPrivateKey& operator=(TCertPrivateKey&& other) noexcept;
    TCertPrivateKey(const TCertPrivateKey&) = delete;
    TCertPrivateKey& operator=(const TCertPrivateKey&) = delete;

    bool IsSet() const { return FKey != nullptr; }
    bool IsRsa() const;
    // RSA decryption with PKCS #1 v1.5 padding of a big-endian block; false
    // when the block does not decrypt under this key.
    bool DecryptPkcs1(const std::vector<std::uint8_t>& block, std::vector<std::uint8_t>& plain) const;

private:
    evp_pkey_st* FKey = nullptr;
};

enum class TCertLookupStatus {
    Found,
    StoreUnavailable,     // the folder exists but cannot be read
    CertificateNotFound,  // no certificate with the thumbprint
    NoPrivateKey,         // found, but its key is absent, locked or does not match
};

struct TCertLookup {
    TCertLookupStatus Status = TCertLookupStatus::CertificateNotFound;
    TCertPrivateKey Key;
    std::string File;  // the store file that held the certificate
};

// The user's personal certificate store: a folder of PKCS #12 files
// (.p12, .pfx) and PEM files (.pem, .crt, .key holding a certificate with its
// private key). A certificate is named by its thumbprint, the SHA-1 of its
// DER encoding. Keys are read only when asked for and held only by the
// returned TCertPrivateKey. Used from one thread at a time.
class TCertStore {
public:
    TCertStore(std::string folder, TCertPasswordPrompt prompt);

    // $PAXID_CERT_DIR, else $XDG_DATA_HOME (default ~/.local/share) +
    // "/Verdanta/Paxid Viewer/certs/"; with a trailing '/'.
    static std::string DefaultFolder();

    const std::string& Folder() const { return FFolder; }
    // The certificate with this thumbprint and its private key. PKCS #12 files
    // that do not open without a password are opened with the prompt's answer;
    // a file that stays locked counts as holding no usable key.
    TCertLookup FindByThumbprint(const std::vector<std::uint8_t>& thumbprint);

private:
    std::string FFolder;
    TCertPasswordPrompt FPrompt;
};

// The SHA-1 thumbprint of the first certificate in a PEM or DER file; empty
// when it holds none. For tools and tests.
std::vector<std::uint8_t> CertificateThumbprint(const std::string& certificateFile);

// Moves every pending report of OpenSSL's error queue into the diagnostic
// log, each line prefixed by context. The one place OpenSSL's errors go.
void LogOpenSslErrors(std::string_view context);

// Loads OpenSSL's "default" and "legacy" providers once, so PKCS #12 files
// exported with RC2-40 or Triple DES still open.
void LoadOpenSslProviders();

}  // namespace paxid
