#pragma once

#include "platform/certstore/CertStore.h"

#include <cstdint>
#include <string>

namespace paxid {

// Codes DataCrypt_Decrypt returns besides its own -1 and -2: the system error
// codes of the matching cryptographic failures, so captions read the same on
// every platform.
inline constexpr std::int32_t kDataCryptNotFound = static_cast<std::int32_t>(0x80092004u);      // no certificate
inline constexpr std::int32_t kDataCryptNoKey = static_cast<std::int32_t>(0x8009200Bu);         // no private key
inline constexpr std::int32_t kDataCryptBadKey = static_cast<std::int32_t>(0x80090003u);        // unusable key
inline constexpr std::int32_t kDataCryptBadData = static_cast<std::int32_t>(0x80090005u);       // does not decrypt
inline constexpr std::int32_t kDataCryptNoProvider = static_cast<std::int32_t>(0x80090017u);    // no cipher
inline constexpr std::int32_t kDataCryptAccessDenied = 5;                                       // store unreadable
inline constexpr std::int32_t kDataCryptBadIdent = -1;
inline constexpr std::int32_t kDataCryptBadVersion = -2;

// Where the recipient's private keys come from.
struct TDataCryptKeys {
    std::string CertFolder;      // the certificate store's folder
    TCertPasswordPrompt Prompt;  // asked for a key file's password; may be empty
};

// The user's store (TCertStore::DefaultFolder) with the password of
// $PAXID_CERT_PASSWORD, when it is set, as the only answer of the prompt.
TDataCryptKeys DefaultDataCryptKeys();

// Decrypts the encrypted content package packageFile into outputFile (which
// is deleted first). Returns 0 with an empty errorText on success; otherwise
// -1 (not a package), -2 (unknown version) or the system error code of the
// failing step, with errorText naming it ("DataCrypt_Decrypt: CryptDecrypt",
// ...). A package cut short in its header ends with the code reached so far
// and no output; a failure inside the content leaves the part decrypted so far
// in outputFile. Never throws. Runs on the loader thread; the prompt may block.
std::int32_t DataCrypt_Decrypt(const std::string& packageFile, const std::string& outputFile, std::string& errorText);
std::int32_t DataCrypt_Decrypt(const std::string& packageFile, const std::string& outputFile, std::string& errorText,
                               const TDataCryptKeys& keys);

// The file a package decrypts to, inside tempDir (with its trailing '/'):
// report.pdf.datacrypt (any case) gives report.pdf; any other name, such as
// x.bin, gives pxdtmp_datacrypt_x.bin.
std::string DataCryptChildName(const std::string& tempDir, const std::string& fileName);

}  // namespace paxid
