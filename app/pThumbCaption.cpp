#include "app/pThumbCaption.h"

#include "app/pLang.h"
#include "document/pPageObj.h"
#include "foundation/pFileUtils.h"
#include "foundation/pURLUtils.h"

#include <cstdio>
#include <strings.h>

namespace paxid {

TPageView ViewForType(TDLType type) {
    switch (type) {
        case dltFileOLE:
        case dltFileWeb:
        case dltFileXml:
            return TPageView::Web;
        case dltFileText:
        case dltIndexDat:
            return TPageView::Text;
        case dltImage:
            return TPageView::Image;
        default:
            return TPageView::Program;
    }
}

std::string ErrorLabelText(const TPageObj& page, const TLang& lang) {
    if (page.ErrorCode == 0) {
        return {};
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(page.ErrorCode));
    const std::string text = lang.Translate(page.ErrorText);
    if (!text.empty() && text != kUntranslated) {
        return text + " (" + hex + ")";
    }
    return std::string("Error: (") + hex + ")";
}

std::string FormatPosition(std::string_view format, int first, int second) {
    std::string result;
    int used = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            result += '%';
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 'd' && used < 2) {
            result += std::to_string(used == 0 ? first : second);
            ++used;
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}

std::string CaptionSourceName(std::string_view urlName) {
    std::string url;
    for (const char c : urlName) {
        url += c == '\\' && urlName.find("://") != std::string_view::npos ? std::string("%5C") : std::string(1, c);
    }
    const std::size_t scheme = url.find("://");
    if (scheme != std::string::npos && scheme > 0) {
        const std::string stripped = StripURLCredentials(url);
        const std::size_t hostStart = stripped.find("://") + 3;
        const std::size_t hostEnd = stripped.find('/', hostStart);
        const std::string host = stripped.substr(hostStart, hostEnd == std::string::npos ? std::string::npos
                                                                                          : hostEnd - hostStart);
        if (!host.empty()) {
            return stripped;
        }
        url = stripped.substr(hostStart);
    }
    std::string path = url.substr(0, url.find_first_of("?#"));
    const std::size_t slash = path.find_last_of(scheme != std::string::npos ? "/" : "/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ThumbCaption(const TPageObj& page, int index, int count, int level, std::string_view format) {
    const std::string_view positionFormat =
        format.empty() || format == kUntranslated ? kDefaultThumbCaptionFormat : format;
    const std::string position = FormatPosition(positionFormat, index + 1, count);
    std::string name;
    std::string error;
    if (::strcasecmp(page.URLName.c_str(), page.FileName.c_str()) == 0) {
        name = ExtractFileName(page.FileName);
    } else {
        name = CaptionSourceName(page.URLName);
        if (page.ErrorCode > 0) {
            error = "Error: " + std::to_string(page.ErrorCode);
        }
    }
    std::string caption;
    switch (level) {
        case 1:
            caption = position + "\r\n" + error;
            break;
        case 2:
            caption = position + "\r\n" + ExtractFileName(page.FileName) + "\r\n" + error;
            break;
        case 3:
            caption = position + "\r\n" + name + "\r\n" + error;
            break;
        default:
            caption = position;
            break;
    }
    if (caption.size() > 2 && caption.ends_with("\r\n")) {
        caption.resize(caption.size() - 2);
    }
    return caption;
}

}  // namespace paxid
