#include "retrieval/pDLCallBack.h"

#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/posix/FileDescriptor.h"
#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"
#include "retrieval/pDL.h"
#include "retrieval/pImageStream.h"
#include "retrieval/pThumbImage.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace paxid {

namespace {

// Data notifications go out per buffer of this size, not per network read.
constexpr std::size_t kNotifyBytes = 256 * 1024;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr int kPollMilliseconds = 100;
constexpr const char* kNoCacheHeaders = "Cache-Control: no-cache\r\nPragma: no-cache";

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TEasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct TMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct TSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::string Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameContentType(text.substr(0, prefix.size()), prefix);
}

std::string FlagText(unsigned flags) {
    static constexpr const char* kNames[] = {"BSCF_FIRSTDATANOTIFICATION", "BSCF_INTERMEDIATEDATANOTIFICATION",
                                             "BSCF_LASTDATANOTIFICATION", "BSCF_DATAFULLYAVAILABLE",
                                             "BSCF_AVAILABLEDATASIZEUNKNOWN"};
    std::string text = "(" + std::to_string(flags) + ") ";
    for (unsigned bit = 0; bit < 5; ++bit) {
        if ((flags & (1u << bit)) != 0) {
            text += kNames[bit];
            text += ' ';
        }
    }
    return text;
}

// Free bytes of the file system that holds path; -1 when unknown.
std::int64_t FreeBytes(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

}  // namespace

// The downloaded bytes on their way into TempFile, created exclusively so that
// nothing already at that name is ever followed or overwritten.
class TTempFileWriter {
public:
    explicit TTempFileWriter(const std::string& path)
        : FFile(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600)) {}
    bool IsOpen() const { return FFile.IsOpen(); }
    bool Append(const char* data, std::size_t size) { return WriteAll(FFile.Get(), data, size); }
    bool Close() {
        const bool synced = !FFile.IsOpen() || ::close(FFile.Get()) == 0;
        (void)FFile.Release();
        return synced;
    }

private:
    TFileDescriptor FFile;
};

// The state of one attempt of the transfer, shared with libcurl's callbacks.
struct TCallback::TTransfer {
    TCallback* Self = nullptr;
    long Status = 0;               // status of the response being received
    std::string ContentType;
    std::string ResponseHeaders;
    bool IsHttp = true;
    bool Announced = false;         // content type told for this response
    bool FirstSent = false;
    std::int64_t Received = 0;      // body bytes of the accepted response
    std::vector<char> Buffer;
    HRESULT Failure = S_OK;         // set when a notification refused the data
    std::chrono::steady_clock::time_point LastProgress;
    std::int64_t Expected = 0;

    bool BodyIsWanted() const { return !IsHttp || (Status >= 200 && Status < 300); }

    void AnnounceType() {
        if (Announced) {
            return;
        }
        Announced = true;
        Self->OnResponseLog(Status, ResponseHeaders);
        if (!ContentType.empty()) {
            const HRESULT result = Self->OnProgress(Received, Expected, kStatusMimeTypeAvailable, ContentType);
            if (result != S_OK) {
                Failure = E_ABORT;
            }
        }
    }

    bool Flush(bool last) {
        if (!FirstSent || !Buffer.empty() || last) {
            unsigned flags = FirstSent ? kIntermediateData : kFirstData;
            if (last) {
                flags = (FirstSent ? 0u : kFirstData) | kLastData | kDataFullyAvailable;
            }
            const HRESULT result = Self->OnDataAvailable(flags, Self->FWritten + static_cast<std::int64_t>(Buffer.size()),
                                                         Buffer.data(), Buffer.size());
            FirstSent = true;
            Buffer.clear();
            if (result != S_OK) {
                Failure = result;
                return false;
            }
        }
        return true;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) noexcept {
        auto& transfer = *static_cast<TTransfer*>(user);
        const std::string_view line(data, size * count);
        try {
            if (StartsWithNoCase(line, "HTTP/")) {
                // A new response (after a redirect or an authentication round) starts afresh.
                transfer.Status = 0;
                const std::size_t space = line.find(' ');
                if (space != std::string_view::npos) {
                    transfer.Status = std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
                }
                transfer.ContentType.clear();
                transfer.ResponseHeaders.clear();
                transfer.Announced = false;
            } else if (StartsWithNoCase(line, "Content-Type:")) {
                std::string type = Trim(line.substr(13));
                transfer.ContentType = Trim(type.substr(0, type.find(';')));
            } else if (StartsWithNoCase(line, "Content-Length:")) {
                transfer.Expected = std::strtoll(Trim(line.substr(15)).c_str(), nullptr, 10);
            }
            transfer.ResponseHeaders.append(line);
            if (Trim(line).empty() && transfer.BodyIsWanted() && transfer.Status != 0) {
                transfer.AnnounceType();
            }
        } catch (...) {
            return 0;  // aborts the transfer
        }
        return transfer.Failure == S_OK ? size * count : 0;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) noexcept {
        auto& transfer = *static_cast<TTransfer*>(user);
        const std::size_t length = size * count;
        try {
            if (!transfer.BodyIsWanted()) {
                return length;  // an error page or an authentication challenge: not the document
            }
            transfer.AnnounceType();
            transfer.Received += static_cast<std::int64_t>(length);
            if (transfer.Received > transfer.Self->Owner.Limits.MaxBytes) {
                WriteLog(transfer.Self->ClassName(), "OnDataAvailable Exception : the source exceeds the largest accepted size");
                transfer.Failure = E_FAIL;
                return 0;
            }
            transfer.Buffer.insert(transfer.Buffer.end(), data, data + length);
            if (transfer.Buffer.size() >= kNotifyBytes && !transfer.Flush(false)) {
                return 0;
            }
        } catch (...) {
            transfer.Failure = E_FAIL;
            return 0;
        }
        return transfer.Failure == S_OK ? length : 0;
    }

    static int OnTransferInfo(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) noexcept {
        auto& transfer = *static_cast<TTransfer*>(user);
        try {
            if (transfer.Self->Owner.StopRequested()) {
                transfer.Failure = E_ABORT;
                return 1;
            }
            const auto time = std::chrono::steady_clock::now();
            if (time - transfer.LastProgress < kProgressInterval || now == 0) {
                return 0;
            }
            transfer.LastProgress = time;
            if (transfer.Self->OnProgress(now, total, kStatusDownloading, transfer.Self->Owner.Location) != S_OK) {
                transfer.Failure = E_ABORT;
                return 1;
            }
        } catch (...) {
            transfer.Failure = E_ABORT;
            return 1;
        }
        return 0;
    }
};

TCallback::TCallback(TDL& owner) : Owner(owner) { InitCurlOnce(); }

TCallback::~TCallback() {
    WriteLog(ClassName(), "TCallBack.Destroy START");
    StopFeed();
    if (FFileStream) {
        FFileStream->Close();
        FFileStream.reset();
    }
    WriteLog(ClassName(), "TCallBack.Destroy END");
}

void TCallback::OnResponseLog(long code, const std::string& headers) {
    WriteLog(ClassName(), "OnResponse dwResponseCode: " + std::to_string(code) + "\r\nszResponseHeaders:\r\n" + headers);
}

HRESULT TCallback::OnProgress(std::int64_t progress, std::int64_t progressMax, std::int32_t statusCode,
                              const std::string& statusText) {
    WriteLog(ClassName(), "OnProgress ulStatusCode: " + std::to_string(statusCode));
    const HRESULT result = Owner.DoProgress(progress, progressMax, statusText, statusCode);
    if (statusCode != kStatusMimeTypeAvailable) {
        return result;
    }
    Owner.ContentType = statusText;
    const std::string ext = ContentTypeToExt(statusText);
    Owner.Destination = Owner.TempFile.substr(0, Owner.TempFile.size() - ExtractFileExt(Owner.TempFile).size()) +
                        (ext.empty() ? std::string(".paxidtmp") : ext);
    const std::string type = ToProgramContentType(statusText);
    if (TDL::IsImageType(type)) {
        FProgressive = true;
        Owner.DLType = dltImage;
    } else if (TDL::IsOLEType(type)) {
        Owner.DLType = dltFileOLE;
    } else if (SameContentType(type, "text/plain")) {
        Owner.DLType = dltFileText;
    } else if (SameContentType(type, "text/xml")) {
        Owner.DLType = dltFileXml;
    } else if (TDL::IsWebType(type)) {
        Owner.DLType = dltFileWeb;
    } else if (SameContentType(type, kContentTypeCollection)) {
        Owner.DLType = dltCollection;
    } else if (SameContentType(type, kContentTypeCabinet)) {
        Owner.DLType = dltCABCollection;
    }
    WriteLog(ClassName(), "OnProgress MIMETYPEAVAILABLE szStatusText=" + statusText + " DLType=" + DLTypeName(Owner.DLType));
    return result;
}

HRESULT TCallback::OnDataAvailable(unsigned flags, std::int64_t size, const char* data, std::size_t length) {
    WriteLog(ClassName(), "OnDataAvailable grfBSCF=" + FlagText(flags) + " dwSize=" + std::to_string(size));
    try {
        if ((flags & kFirstData) != 0) {
            ::unlink(Owner.TempFile.c_str());
            WriteLog(ClassName(), "OnDataAvailable Stream.Create DLClass.TempFile=" + Owner.TempFile);
            FFileStream = std::make_unique<TTempFileWriter>(Owner.TempFile);
            FWritten = 0;
            if (!FFileStream->IsOpen()) {
                throw std::runtime_error("cannot create " + Owner.TempFile);
            }
            if (FProgressive) {
                FImageFeed = std::make_unique<TImageStream>();
                FImageFeed->OnFirstRow = [this](const std::string&, const TImageFileInfo&) { Owner.IsImage = true; };
                FImageFeed->OnLastRow = [this](const std::string&, const TImageFileInfo& info, TBitmap& bitmap) {
                    OnLastRow(info, bitmap);
                };
                FImageFeed->Initialize();
            }
        }
        if (!FFileStream) {
            throw std::runtime_error("data without a first notification");
        }
        WriteLog(ClassName(), "OnDataAvailable BuffLen=" + std::to_string(length));
        if (length > 0) {
            WriteLog(ClassName(), "OnDataAvailable OleStream.Create");
            const std::int64_t available = FreeBytes(ExtractFilePath(Owner.TempFile));
            if (available >= 0 && available < Owner.Limits.DiskReserveBytes + static_cast<std::int64_t>(length)) {
                throw std::runtime_error("the disk is nearly full");
            }
            if (FImageFeed) {
                // Decoder trouble never stops the download: the file is still written whole.
                FImageFeed->FeedData(reinterpret_cast<const std::uint8_t*>(data), length);
            }
            if (!FFileStream->Append(data, length)) {
                throw std::runtime_error("cannot write " + Owner.TempFile);
            }
            FWritten += static_cast<std::int64_t>(length);
            WriteLog(ClassName(), "OnDataAvailable OleStream.Free");
        }
        if ((flags & kLastData) != 0) {
            if (!FFileStream->Close()) {
                WriteLog(ClassName(), "OnDataAvailable Stream.Destroy Exception : cannot close " + Owner.TempFile);
            }
            FFileStream.reset();
            WriteLog(ClassName(), "OnDataAvailable Stream.Destroy");
            StopFeed();
        }
    } catch (const std::exception& error) {
        WriteLog(ClassName(), std::string("OnDataAvailable Exception : ") + error.what());
        return E_FAIL;
    }
    return S_OK;
}

void TCallback::StopFeed() {
    if (FImageFeed) {
        FImageFeed->Finalize();
        FImageFeed.reset();
    }
}

void TCallback::OnLastRow(const TImageFileInfo& info, TBitmap& bitmap) {
    WriteLog(ClassName(), "OnLastRow BEGIN");
    const int pageNumber = ++FFeedPages;
    // A page suffix selects one page of a download as it does of a local file.
    const bool wanted = Owner.PageNo <= 0 || Owner.PageNo == pageNumber;
    if (Owner.OnThumbnail && wanted && !FFeedRefused) {
        bool loaded = false;
        const auto thumbnail = std::make_shared<const TBitmap>(Owner.ThumbImage->PageThumbnail(loaded, &bitmap));
        const HRESULT result = Owner.OnThumbnail(thumbnail, pageNumber, &info, &bitmap);
        WriteLog(ClassName(), "OnLastRow DLClass.OnThumbnail hr=" + HResultHex(result));
        ++Owner.ProgressivePages;
        FFeedRefused = result != S_OK;
    }
    WriteLog(ClassName(), "OnLastRow END");
}

HRESULT TCallback::Authenticate(int code) {
    WriteLog(ClassName(), "Authenticate");
    WriteLog(ClassName(), "Authenticate Code=" + std::to_string(code));
    HRESULT result = E_ACCESSDENIED;
    AuthUserName.clear();
    AuthPassword.clear();
    AuthForProxy = code == 407;
    if (code == 401 || code == 407) {
        const std::string& user = AuthForProxy ? Owner.ProxyUser : Owner.UserName;
        const std::string& password = AuthForProxy ? Owner.ProxyPassword : Owner.Password;
        TCredentials asked;
        if (!user.empty()) {
            AuthUserName = user;
            AuthPassword = password;
            result = S_OK;
        } else if (Owner.CredentialPrompt && Owner.CredentialPrompt(Owner.Location, AuthForProxy, asked)) {
            AuthUserName = asked.UserName;
            AuthPassword = asked.Password;
            result = S_OK;
        }
    }
    WriteLog(ClassName(), "Authenticate hr=" + std::to_string(result));
    return result;
}

HRESULT TCallback::RunAttempt(const std::string& url, TTransfer& transfer) {
    const std::unique_ptr<CURL, TEasyDeleter> easy(curl_easy_init());
    const std::unique_ptr<CURLM, TMultiDeleter> multi(curl_multi_init());
    const std::unique_ptr<curl_slist, TSlistDeleter> headers(
        curl_slist_append(curl_slist_append(nullptr, "Cache-Control: no-cache"), "Pragma: no-cache"));
    if (!easy || !multi || !headers) {
        return E_FAIL;
    }
    char errorText[CURL_ERROR_SIZE] = {};
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https,ftp,ftps");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp,ftps");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(Owner.Limits.ConnectSeconds));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(Owner.Limits.StallSeconds));
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(Owner.Limits.MaxBytes));
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &TTransfer::OnHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &TTransfer::OnBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &TTransfer::OnTransferInfo);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    if (!AuthUserName.empty() || !AuthPassword.empty()) {
        curl_easy_setopt(handle, AuthForProxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME, AuthUserName.c_str());
        curl_easy_setopt(handle, AuthForProxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD, AuthPassword.c_str());
        curl_easy_setopt(handle, AuthForProxy ? CURLOPT_PROXYAUTH : CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    }
    if (!Owner.ProxyUser.empty() && !AuthForProxy) {
        curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, Owner.ProxyUser.c_str());
        curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, Owner.ProxyPassword.c_str());
    }
    if (FAcceptInsecure) {
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    transfer.IsHttp = StartsWithNoCase(url, "http");

    curl_multi_add_handle(multi.get(), handle);
    int running = 1;
    CURLcode code = CURLE_OK;
    while (running > 0) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (Owner.StopRequested()) {
            transfer.Failure = E_ABORT;
            break;
        }
        if (running > 0) {
            curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
        }
    }
    int pending = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &pending)) {
        if (message->msg == CURLMSG_DONE) {
            code = message->data.result;
        }
    }
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &transfer.Status);
    curl_multi_remove_handle(multi.get(), handle);
    FLastError = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    FLastCurlCode = static_cast<int>(code);
    if (transfer.Failure != S_OK) {
        return transfer.Failure;
    }
    if (code != CURLE_OK || !transfer.BodyIsWanted()) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TCallback::Run(const std::string& url) {
    WriteLog(ClassName(), "OnStartBinding");
    WriteLog(ClassName(), "GetBindInfo");
    WriteLog(ClassName(), "BeginningTransaction szURL: " + url + " szHeaders: " + kNoCacheHeaders);
    HRESULT result = E_FAIL;
    bool authenticated = false;
    bool securityAsked = false;
    for (;;) {
        TTransfer transfer;
        transfer.Self = this;
        transfer.LastProgress = std::chrono::steady_clock::now();
        result = RunAttempt(url, transfer);
        if (result == S_OK) {
            transfer.AnnounceType();
            if (transfer.Failure == S_OK && !transfer.Flush(true)) {
                result = transfer.Failure;
            }
            result = transfer.Failure == S_OK ? result : transfer.Failure;
            break;
        }
        if (result == E_ABORT) {
            break;
        }
        if (!authenticated && (transfer.Status == 401 || transfer.Status == 407)) {
            authenticated = true;
            if (Authenticate(static_cast<int>(transfer.Status)) == S_OK) {
                continue;
            }
            break;
        }
        if (!securityAsked && (FLastCurlCode == CURLE_PEER_FAILED_VERIFICATION ||
                               FLastCurlCode == CURLE_SSL_CACERT_BADFILE)) {
            securityAsked = true;
            WriteLog(ClassName(), "OnSecurityProblem dwProblem=12045");
            if (Owner.SecurityDecision && Owner.SecurityDecision(url, FLastError)) {
                FAcceptInsecure = true;
                continue;
            }
        }
        break;
    }
    if (FFileStream) {
        FFileStream->Close();
        FFileStream.reset();
    }
    WriteLog(ClassName(), "OnStopBinding hresult=" + HResultHex(result) + " szError=" + (result == S_OK ? "" : FLastError));
    return result;
}

}  // namespace paxid
