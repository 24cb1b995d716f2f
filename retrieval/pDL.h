#pragma once

#include "document/pPageObj.h"
#include "foundation/pHResult.h"
#include "retrieval/pDLTypes.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace paxid {

class TFolderNames;
class TThumbImage;

// Turns one source name (a local path, a path under HomeDir, or an http,
// https or ftp URL) into a local file, decides its content type and
// TDLType, and delivers its thumbnails through OnThumbnail. Reused for one
// source after another on the loader thread; not thread-safe except for
// RequestStop.
class TDL {
public:
    TDL();
    ~TDL();
    TDL(const TDL&) = delete;
    TDL& operator=(const TDL&) = delete;

    std::string_view ClassName() const { return "TDL"; }

    // Fetches Location; returns once the source is fetched, typed and its
    // thumbnails are delivered.
    void Start();
    // There is no download cache to bypass: always false.
    bool DeleteCacheEntry(const std::string& url);
    // Rate and remaining time of a transfer, forwarded to OnProgress.
    HRESULT DoProgress(std::int64_t progress, std::int64_t progressMax, const std::string& statusText,
                       std::int32_t statusCode);
    // Types the fetched file and delivers its thumbnails.
    void DoFinish();

    // Any thread: ends a running transfer at its next poll (within 100 ms).
    void RequestStop() { FStopRequested = true; }
    void ClearStop() { FStopRequested = false; }
    bool StopRequested() const { return FStopRequested; }

    // The content-type lists the typing uses.
    static bool IsImageType(std::string_view contentType);
    static bool IsOLEType(std::string_view contentType);
    static bool IsWebType(std::string_view contentType);

    std::string Location;
    std::string HomeDir;
    std::string Destination;
    std::string TempFile;
    std::string ContentType;
    TDLType DLType = dltUnknown;
    std::int32_t PageNo = -1;
    bool IsImage = false;
    bool IsDownload = false;
    std::string UserName;
    std::string Password;
    std::string ProxyUser;
    std::string ProxyPassword;
    std::uintptr_t WindowHandle = 0;
    bool SkipContainerThumbs = false;
    std::unique_ptr<TThumbImage> ThumbImage;
    std::chrono::steady_clock::time_point StartTick;

    TProgressEvent OnProgress;
    TThumbnailEvent OnThumbnail;
    // The user's answers; without them credentials and certificate problems are refused.
    TCredentialPrompt CredentialPrompt;
    TSecurityDecision SecurityDecision;
    TDownloadLimits Limits;
    // Pages the progressive decoder delivered during the current download.
    int ProgressivePages = 0;

private:
    void Download();
    void DeliverThumbnails();
    void DeliverPageThumbnails();
    // A picture that depends only on its kind and the thumbnail size, drawn
    // once and shared by every page that shows it.
    std::shared_ptr<const TBitmap> SharedPicture(const std::string& kind, const std::function<TBitmap()>& draw);

    std::map<std::string, std::shared_ptr<const TBitmap>> FPictures;
    std::unique_ptr<TFolderNames> FFolderNames;

    std::vector<std::string> FImageTypes;
    std::atomic<bool> FStopRequested{false};
};

}  // namespace paxid
