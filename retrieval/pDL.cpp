#include "retrieval/pDL.h"

#include "foundation/pContentTypes.h"
#include "foundation/pConversions.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "foundation/pURLUtils.h"
#include "platform/imaging/Bitmap.h"
#include "retrieval/pDLCallBack.h"
#include "retrieval/pThumbImage.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <dirent.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unordered_map>

namespace paxid {

namespace {

constexpr std::array<std::string_view, 10> kImageTypes{
    "image/tiff", "image/tif", "image/gif", "image/pjpeg", "image/jpg",
    "image/jpeg", "image/png", "image/x-png", "image/bmp",  "image/jbig"};

constexpr std::array<std::string_view, 13> kOLETypes{
    "application/msexcel",
    "application/vnd.ms-excel",
    "application/msword",
    "application/vnd.ms-word",
    "application/powerpoint",
    "application/vnd.ms-powerpoint",
    "application/project",
    "application/vnd.ms-project",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation",
    "application/visio",
    "application/vnd.visio",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document"};

constexpr std::array<std::string_view, 6> kWebTypes{"text/htm",
                                                    "text/html",
                                                    "message/rfc822",
                                                    "application/vnd.ms-xpsdocument",
                                                    "application/pdf",
                                                    "application/vnd.adobe.pdf"};

template <std::size_t N>
bool IsOneOf(const std::array<std::string_view, N>& types, std::string_view type) {
    const std::string mapped = ToProgramContentType(type);
    return std::any_of(types.begin(), types.end(),
                       [&mapped](std::string_view candidate) { return SameContentType(candidate, mapped); });
}

bool IsURL(std::string_view name) {
    return name.rfind("http://", 0) == 0 || name.rfind("https://", 0) == 0 || name.rfind("ftp://", 0) == 0;
}

}  // namespace

// Names of a folder by their lower-cased form, read again only when the
// folder changed, so that looking up many names in one folder costs one
// listing and not one per name.
class TFolderNames {
public:
    std::string Find(const std::string& folder, const std::string& name) {
        struct stat info {};
        const std::string path = folder.empty() ? std::string(".") : folder;
        if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return {};
        }
        TListing& listing = FListings[path];
        if (!listing.Valid || listing.Changed.tv_sec != info.st_mtim.tv_sec ||
            listing.Changed.tv_nsec != info.st_mtim.tv_nsec) {
            Read(path, listing);
            listing.Changed = info.st_mtim;
        }
        const auto found = listing.Names.find(LowerASCII(name));
        return found == listing.Names.end() ? std::string() : found->second;
    }

private:
    struct TListing {
        bool Valid = false;
        timespec Changed{};
        std::unordered_map<std::string, std::string> Names;
    };

    static void Read(const std::string& path, TListing& listing) {
        listing.Names.clear();
        listing.Valid = true;
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
        while (dir) {
            const dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) {
                break;
            }
            listing.Names.emplace(LowerASCII(entry->d_name), entry->d_name);
        }
    }

    std::map<std::string, TListing> FListings;
};

namespace {

// Names written on Windows use backslashes and may differ in case from the
// file on disk: the exact name first, then the file name without regard to
// case in the same folder.
std::string ExistingLocalFile(std::string name, TFolderNames& folderNames) {
    if (name.find("://") == std::string::npos) {
        std::replace(name.begin(), name.end(), '\\', '/');
    }
    if (FileExists(name)) {
        return name;
    }
    const std::string folder = ExtractFilePath(name);
    const std::string wanted = ExtractFileName(name);
    if (wanted.empty()) {
        return {};
    }
    const std::string found = folderNames.Find(folder, wanted);
    return !found.empty() && FileExists(folder + found) ? folder + found : std::string();
}

bool StartsWithPackageSignature(const std::string& fileName) {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        throw std::runtime_error("cannot open " + fileName);
    }
    char head[17] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return got > kPackageSignature.size() && std::string_view(head, kPackageSignature.size()) == kPackageSignature;
}

std::int32_t PageSuffixValue(std::string_view text) {
    std::int32_t value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return (error == std::errc() && end == text.data() + text.size() && !text.empty()) ? value : -1;
}

}  // namespace

TDL::TDL()
    : TempFile(MakeTempFileName("")),
      ThumbImage(std::make_unique<TThumbImage>()),
      FFolderNames(std::make_unique<TFolderNames>()) {}

TDL::~TDL() {
    WriteLog(ClassName(), "TDL.Destroy START");
    ThumbImage.reset();
    WriteLog(ClassName(), "TDL.Destroy END");
}

bool TDL::IsImageType(std::string_view contentType) { return IsOneOf(kImageTypes, contentType); }
bool TDL::IsOLEType(std::string_view contentType) { return IsOneOf(kOLETypes, contentType); }
bool TDL::IsWebType(std::string_view contentType) { return IsOneOf(kWebTypes, contentType); }

bool TDL::DeleteCacheEntry(const std::string&) { return false; }

void TDL::Start() {
    IsImage = false;
    IsDownload = false;
    ContentType.clear();
    Destination.clear();
    DLType = dltUnknown;
    ProgressivePages = 0;
    if (!Location.empty() && Location.front() == '-') {
        DLType = dltCommand;
        return;
    }
    PageNo = -1;
    const std::size_t semicolon = Location.find_last_of(';');
    if (semicolon != std::string::npos) {
        PageNo = PageSuffixValue(std::string_view(Location).substr(semicolon + 1));
        if (PageNo > 0) {
            Location.erase(semicolon);
        }
    }
    if (!IsURL(Location)) {
        std::string local = ExistingLocalFile(Location, *FFolderNames);
        if (local.empty() && !HomeDir.empty() && !Location.empty() && Location.front() != '/') {
            const std::string home = HomeDir.back() == '/' ? HomeDir : HomeDir + "/";
            local = ExistingLocalFile(home + Location, *FFolderNames);
        }
        Destination = local;
        DoFinish();
        return;
    }
    Download();
}

void TDL::Download() {
    StartTick = std::chrono::steady_clock::now();
    UserName = URLUserName(Location);
    Password = URLPassword(Location);
    Location = StripURLCredentials(Location);
    DeleteCacheEntry(Location);
    TempFile = MakeTempFileName("");
    WriteLog(ClassName(), "URLOpenStream BEFORE Location=" + Location);
    HRESULT result = E_FAIL;
    {
        TCallback callback(*this);
        if (Location.find("https://") == 0) {
            // No browser hosts this program, so there is no site to ask.
            WriteLog(ClassName(), "GetIEOuterMostXXX START");
            WriteLog(ClassName(), "GetIEOuterMostXXX END");
            WriteLog(ClassName(), "GetIEOuterMostXXX --> unk = nil");
        }
        IsDownload = true;
        result = callback.Run(Location);
    }
    WriteLog(ClassName(), "URLOpenStream AFTER hr=" + HResultHex(result));
    if (result == S_OK) {
        if (Destination.empty()) {
            const std::string ext = ContentTypeToExt(ContentType);
            Destination = TempFile.substr(0, TempFile.size() - ExtractFileExt(TempFile).size()) +
                          (ext.empty() ? std::string(".paxidtmp") : ext);
        }
        if (Destination != TempFile) {
            std::remove(Destination.c_str());
            if (std::rename(TempFile.c_str(), Destination.c_str()) != 0) {
                Destination.clear();
            }
        }
    } else {
        // A failed or stopped transfer leaves no partial document behind for
        // the page to open.
        std::remove(TempFile.c_str());
        Destination.clear();
    }
    DoFinish();
    DeleteCacheEntry(Location);
}

HRESULT TDL::DoProgress(std::int64_t progress, std::int64_t progressMax, const std::string& statusText,
                        std::int32_t statusCode) {
    const double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - StartTick).count();
    const double rate = elapsed > 0 ? static_cast<double>(progress) / elapsed : 0.0;
    const double remaining = rate > 0 ? static_cast<double>(progressMax - progress) / rate : 0.0;
    if (!OnProgress) {
        return S_OK;
    }
    TProgressInfo info;
    info.Progress = progress;
    info.ProgressMax = progressMax;
    info.StatusCode = statusCode;
    info.BytesPerSecond = static_cast<std::int32_t>(std::clamp(rate * 1000.0, 0.0, 2147483647.0) + 0.5);
    info.RemainingMs = static_cast<std::int32_t>(std::clamp(remaining, 0.0, 2147483647.0) + 0.5);
    info.StatusText = statusText;
    return OnProgress(info);
}

void TDL::DoFinish() {
    if (Destination.empty() || !FileExists(Destination)) {
        DLType = dltMissing;
        Destination.clear();
        ContentType.clear();
        IsImage = false;
    } else {
        WriteLog(ClassName(), "DoFinish ContentType=" + ContentType + " FLType=" + DLTypeName(DLType));
        if (ContentType.empty()) {
            ContentType = DetectContentType(Destination);
        } else {
            try {
                if (StartsWithPackageSignature(Destination)) {
                    ContentType = kContentTypeDataCrypt;
                    DLType = dltDataCrypt;
                }
            } catch (const std::exception& error) {
                WriteLog(ClassName(), std::string("DoFinish DataCryptDetect Exception: ") + error.what());
            }
        }
        const std::string type = ToProgramContentType(ContentType);
        if (DLType == dltUnknown) {
            if (SameContentType(type, kContentTypeCollection)) {
                DLType = dltCollection;
            } else if (SameContentType(type, kContentTypeCabinet)) {
                DLType = dltCABCollection;
            } else if (SameContentType(type, kContentTypeDataCrypt)) {
                DLType = dltDataCrypt;
            } else if (SameContentType(type, "text/plain")) {
                DLType = dltFileText;
            } else if (IsOLEType(type)) {
                DLType = dltFileOLE;
            } else if (SameContentType(type, "text/xml")) {
                DLType = dltFileXml;
            } else if (IsWebType(type)) {
                DLType = dltFileWeb;
            } else if (SameContentType(type, kContentTypeIndexData)) {
                DLType = dltIndexDat;
            } else {
                DLType = dltFileOther;
            }
        }
        if (DLType == dltFileOther) {
            if (!IsDownload && IsImageType(type)) {
                ThumbImage->SetFileName(Destination);
                IsImage = ThumbImage->PageCount() > 0;
            }
            if (IsImage) {
                DLType = dltImage;
            }
        }
        // A download typed as an image by its server but not decodable is another file.
        if (DLType == dltImage && IsDownload && ProgressivePages == 0) {
            ThumbImage->SetFileName(Destination);
            if (ThumbImage->PageCount() <= 0) {
                DLType = dltFileOther;
            }
        }
    }
    DeliverThumbnails();
}

void TDL::DeliverThumbnails() {
    ThumbImage->SetFileName(Destination);
    ThumbImage->SetPage(0);
    if (!OnThumbnail) {
        return;
    }
    const auto deliver = [this](const std::shared_ptr<const TBitmap>& picture, int pageNumber) {
        return OnThumbnail(picture, pageNumber, nullptr, nullptr);
    };
    const auto blank = [this] { return SharedPicture("blank", [this] { return ThumbImage->BlankPicture(); }); };
    const auto notFound = [this] {
        return SharedPicture("not found", [this] { return ThumbImage->NotFoundPicture(); });
    };
    const auto icon = [this] {
        // An icon stands for the file's type, so files of one type share it.
        const std::string type = ToProgramContentType(ContentType);
        const auto drawIcon = [this] {
            bool drawn = false;
            return ThumbImage->IconPicture(drawn);
        };
        return type.empty() ? std::make_shared<const TBitmap>(drawIcon()) : SharedPicture("icon " + type, drawIcon);
    };
    switch (DLType) {
        case dltUnknown:
            if (!SkipContainerThumbs) {
                deliver(blank(), 0);
            }
            break;
        case dltMissing:
            deliver(notFound(), 0);
            break;
        case dltFileOther:
        case dltFileOLE:
        case dltFileText:
        case dltFileWeb:
            deliver(icon(), 0);
            break;
        case dltImage:
            // Pages of a download came from the progressive decoder; one whose
            // decoding delivered nothing is read from the finished file.
            if (!IsDownload || ProgressivePages == 0) {
                DeliverPageThumbnails();
            }
            break;
        case dltCollection:
        case dltCABCollection:
        case dltDataCrypt:
            if (!SkipContainerThumbs) {
                deliver(icon(), 0);
            }
            break;
        case dltIndexDat:
            if (!(SkipContainerThumbs && PageNo > 0)) {
                deliver(icon(), 0);
            }
            break;
        case dltFileXml:
        case dltCommand:
            break;
    }
}

void TDL::DeliverPageThumbnails() {
    const auto pageThumbnail = [this] {
        bool loaded = false;
        return std::make_shared<const TBitmap>(ThumbImage->PageThumbnail(loaded, nullptr));
    };
    if (PageNo > 0) {
        ThumbImage->SetPage(PageNo);
        OnThumbnail(pageThumbnail(), PageNo, nullptr, nullptr);
        return;
    }
    const int pages = ThumbImage->PageCount();
    for (int page = 1; page <= pages; ++page) {
        ThumbImage->SetPage(page);
        if (OnThumbnail(pageThumbnail(), page, nullptr, nullptr) != S_OK) {
            break;
        }
    }
}

std::shared_ptr<const TBitmap> TDL::SharedPicture(const std::string& kind, const std::function<TBitmap()>& draw) {
    const std::string key =
        kind + " " + std::to_string(ThumbImage->ThumbWidth) + "x" + std::to_string(ThumbImage->ThumbHeight);
    std::shared_ptr<const TBitmap>& picture = FPictures[key];
    if (!picture) {
        picture = std::make_shared<const TBitmap>(draw());
    }
    return picture;
}

}  // namespace paxid
