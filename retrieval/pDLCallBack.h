#pragma once

#include "foundation/pHResult.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace paxid {

class TBitmap;
class TDL;
class TImageStream;
struct TImageFileInfo;
class TTempFileWriter;

// Receives the notifications of one URL transfer for its downloader: the
// content type as soon as the server names it, the body in data
// notifications written to the downloader's TempFile, progress, requests for
// credentials and certificate problems. Runs the transfer with libcurl on
// the calling (loader) thread. One object serves one download.
class TCallback {
public:
    // Bits of a data notification.
    static constexpr unsigned kFirstData = 1;
    static constexpr unsigned kIntermediateData = 2;
    static constexpr unsigned kLastData = 4;
    static constexpr unsigned kDataFullyAvailable = 8;
    static constexpr unsigned kDataSizeUnknown = 16;
    // Status codes of progress notifications.
    static constexpr std::int32_t kStatusDownloading = 5;
    static constexpr std::int32_t kStatusMimeTypeAvailable = 13;

    explicit TCallback(TDL& owner);
    ~TCallback();
    TCallback(const TCallback&) = delete;
    TCallback& operator=(const TCallback&) = delete;

    std::string_view ClassName() const { return "TCallBack"; }

    // The whole transfer of url (credentials already taken out of it):
    // S_OK when the body arrived completely, E_ABORT when stopped, else E_FAIL.
    HRESULT Run(const std::string& url);

    // The notifications, named as the downloader's peers know them.
    HRESULT OnProgress(std::int64_t progress, std::int64_t progressMax, std::int32_t statusCode,
                       const std::string& statusText);
    HRESULT OnDataAvailable(unsigned flags, std::int64_t size, const char* data, std::size_t length);
    // code is the HTTP status that asked (401 server, 407 proxy). On S_OK the
    // transfer is tried once more with the credentials chosen here.
    HRESULT Authenticate(int code);

    // Set by Authenticate.
    std::string AuthUserName;
    std::string AuthPassword;
    bool AuthForProxy = false;

private:
    struct TTransfer;
    friend struct TTransfer;

    HRESULT RunAttempt(const std::string& url, TTransfer& transfer);
    // The feed has the last row of a page: its thumbnail goes to the downloader's handler.
    void OnLastRow(const TImageFileInfo& info, TBitmap& bitmap);
    void StopFeed();
    void OnResponseLog(long code, const std::string& headers);

    TDL& Owner;
    std::unique_ptr<TTempFileWriter> FFileStream;
    std::unique_ptr<TImageStream> FImageFeed;
    int FFeedPages = 0;            // pages the feed decoded so far
    bool FFeedRefused = false;     // the handler wants no more pages of this source
    bool FProgressive = false;
    bool FAcceptInsecure = false;
    std::int64_t FWritten = 0;
    std::string FLastError;
    int FLastCurlCode = 0;
};

}  // namespace paxid
