#pragma once

#include "foundation/pHResult.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace paxid {

class TBitmap;
struct TImageFileInfo;

// One progress report of a download or of a cabinet's extraction.
struct TProgressInfo {
    std::int64_t Progress = 0;     // bytes (or files) done
    std::int64_t ProgressMax = 0;  // bytes (or files) in all; 0 when unknown
    std::int32_t StatusCode = 0;   // the transfer's status code (13 = content type known)
    std::int32_t BytesPerSecond = 0;
    std::int32_t RemainingMs = 0;
    std::string StatusText;
};

// Answers S_OK to go on; anything else aborts the transfer.
using TProgressEvent = std::function<HRESULT(const TProgressInfo&)>;

// One thumbnail of a source: the picture, the page it shows (0 = the whole
// file), and for a progressively decoded page its file information and the
// decoded page itself. A non-zero answer stops further pages of the source.
using TThumbnailEvent =
    std::function<HRESULT(const std::shared_ptr<const TBitmap>& thumbnail, int pageNumber,
                          const TImageFileInfo* fileInfo, const TBitmap* decodedImage)>;

// Credentials the user gives when a server or proxy asks for them.
struct TCredentials {
    std::string UserName;
    std::string Password;
};

// Asks the user for credentials (realm text, whether for the proxy); false when refused.
using TCredentialPrompt = std::function<bool(const std::string& url, bool forProxy, TCredentials& credentials)>;
// Asks whether to go on despite a certificate problem; false refuses.
using TSecurityDecision = std::function<bool(const std::string& url, const std::string& problem)>;

// Bounds that end a transfer as failed.
struct TDownloadLimits {
    std::int64_t MaxBytes = std::int64_t{4} << 30;       // the largest source accepted
    int StallSeconds = 60;                               // no byte for this long ends it
    int ConnectSeconds = 30;
    std::int64_t DiskReserveBytes = std::int64_t{64} << 20;  // never fill the disk below this
};

}  // namespace paxid
