#include "platform/imaging/IconTheme.h"

#include "platform/imaging/BitmapDrawing.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/LibraryMessages.h"

#include <leptonica/allheaders.h>

#include <sys/stat.h>

#include <cstdlib>
#include <vector>

namespace paxid {

namespace {

constexpr std::string_view kThemes[] = {"Adwaita", "hicolor"};
// Sizes tried after the exact one; larger icons are scaled down.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 96, 128, 256};

std::vector<std::string> IconRoots() {
    std::vector<std::string> roots;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome != nullptr && *dataHome != '\0') {
        roots.push_back(std::string(dataHome) + "/icons/");
    } else if (home != nullptr && *home != '\0') {
        roots.push_back(std::string(home) + "/.local/share/icons/");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string_view dirs = (dataDirs != nullptr && *dataDirs != '\0') ? dataDirs : "/usr/local/share:/usr/share";
    while (!dirs.empty()) {
        const auto colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        if (!dir.empty()) {
            roots.push_back(std::string(dir) + "/icons/");
        }
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    }
    return roots;
}

std::vector<std::string> IconNames(std::string_view mimeType) {
    std::vector<std::string> names;
    std::string name(mimeType);
    for (char& c : name) {
        c = c == '/' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (!name.empty() && name.find("..") == std::string::npos) {
        names.push_back(name);
    }
    const auto slash = mimeType.find('/');
    if (slash != std::string_view::npos && slash > 0) {
        names.push_back(std::string(mimeType.substr(0, slash)) + "-x-generic");
    }
    names.emplace_back("application-x-generic");
    return names;
}

bool IsFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::vector<int> SizesToTry(int size) {
    std::vector<int> sizes{size};
    for (const int candidate : kIconSizes) {
        if (candidate > size) {
            sizes.push_back(candidate);
        }
    }
    for (auto it = std::rbegin(kIconSizes); it != std::rend(kIconSizes); ++it) {
        if (*it < size) {
            sizes.push_back(*it);
        }
    }
    return sizes;
}

}  // namespace

std::string FindThemeIconFile(std::string_view mimeType, int size) {
    if (size <= 0) {
        return {};
    }
    const std::vector<std::string> roots = IconRoots();
    const std::vector<int> sizes = SizesToTry(size);
    for (const std::string& name : IconNames(mimeType)) {
        for (const int candidate : sizes) {
            const std::string folder = std::to_string(candidate) + "x" + std::to_string(candidate);
            for (const std::string& root : roots) {
                for (const std::string_view theme : kThemes) {
                    std::string path = root + std::string(theme) + "/" + folder + "/mimetypes/" + name + ".png";
                    if (IsFile(path)) {
                        return path;
                    }
                }
            }
        }
    }
    return {};
}

TBitmap LoadThemeIcon(std::string_view mimeType, int size) {
    const std::string path = FindThemeIconFile(mimeType, size);
    if (path.empty()) {
        return {};
    }
    InstallImagingMessageHandlers();
    TBitmap icon(pixRead(path.c_str()));
    if (icon.IsEmpty()) {
        return {};
    }
    if (pixGetDepth(icon.Get()) != 32) {
        icon = TBitmap(pixConvertTo32(icon.Get()));
        if (icon.IsEmpty()) {
            return {};
        }
        pixSetSpp(icon.Get(), 3);
    }
    if (icon.Width() != size || icon.Height() != size) {
        const float scaleX = static_cast<float>(size) / static_cast<float>(icon.Width());
        const float scaleY = static_cast<float>(size) / static_cast<float>(icon.Height());
        Pix* scaled = pixGetSpp(icon.Get()) == 4 ? pixScaleWithAlpha(icon.Get(), scaleX, scaleY, nullptr, 1.0F)
                                                 : pixScaleToSize(icon.Get(), size, size);
        icon = TBitmap(scaled);
    }
    return icon;
}

TBitmap DrawnFileGlyph(int size) {
    TBitmap glyph = TBitmap::Create(size, size, 24);
    if (glyph.IsEmpty()) {
        return glyph;
    }
    const int fold = std::max(2, size / 4);
    const int left = size / 6;
    const int right = size - 1 - size / 6;
    const int bottom = size - 1;
    const TColor black{0, 0, 0};
    DrawLine(glyph, left, 0, right - fold, 0, 1, black);
    DrawLine(glyph, right - fold, 0, right, fold, 1, black);
    DrawLine(glyph, right, fold, right, bottom, 1, black);
    DrawLine(glyph, right, bottom, left, bottom, 1, black);
    DrawLine(glyph, left, bottom, left, 0, 1, black);
    DrawLine(glyph, right - fold, 0, right - fold, fold, 1, black);
    DrawLine(glyph, right - fold, fold, right, fold, 1, black);
    return glyph;
}

}  // namespace paxid
