#include "foundation/pURLUtils.h"

#include "foundation/pConversions.h"

#include <algorithm>

namespace paxid {

namespace {

constexpr std::string_view kSchemeEnd = "://";

}  // namespace

std::string NormalizeURL(std::string_view url) {
    const std::size_t schemeEnd = url.find(kSchemeEnd);
    if (schemeEnd == std::string_view::npos) {
        return {};
    }
    const std::size_t hostStart = schemeEnd + kSchemeEnd.size();
    const std::size_t pathStart = url.find('/', hostStart);
    std::string result = LowerASCII(url.substr(0, schemeEnd)) + std::string(kSchemeEnd);
    if (pathStart == std::string_view::npos) {
        return result + std::string(url.substr(hostStart));
    }
    return result + LowerASCII(url.substr(hostStart, pathStart - hostStart)) + std::string(url.substr(pathStart));
}

std::string URLUserInfo(std::string_view url) {
    const std::size_t schemeEnd = url.find(kSchemeEnd);
    const std::size_t at = url.find('@');
    if (schemeEnd == std::string_view::npos || at == std::string_view::npos) {
        return {};
    }
    const std::size_t start = schemeEnd + kSchemeEnd.size();
    if (at < start) {
        return {};
    }
    return std::string(url.substr(start, at - start + 1));
}

std::string URLUserName(std::string_view url) {
    const std::string info = URLUserInfo(url);
    const std::size_t colon = info.find(':');
    if (colon != std::string::npos) {
        return info.substr(0, colon);
    }
    return info.empty() ? info : info.substr(0, info.size() - 1);
}

std::string URLPassword(std::string_view url) {
    const std::string info = URLUserInfo(url);
    const std::size_t colon = info.find(':');
    if (colon == std::string::npos || info.empty()) {
        return {};
    }
    return info.substr(colon + 1, info.size() - 1 - (colon + 1));
}

std::string StripURLCredentials(std::string_view url) {
    const std::string info = URLUserInfo(url);
    if (info.empty()) {
        return std::string(url);
    }
    const std::size_t start = url.find(kSchemeEnd) + kSchemeEnd.size();
    return std::string(url.substr(0, start)) + std::string(url.substr(start + info.size()));
}

void RedactURLCredentials(std::string& text) {
    for (std::size_t schemeEnd = text.find(kSchemeEnd); schemeEnd != std::string::npos;
         schemeEnd = text.find(kSchemeEnd, schemeEnd + kSchemeEnd.size())) {
        const std::size_t start = schemeEnd + kSchemeEnd.size();
        const std::size_t tokenEnd = std::min(text.find_first_of(" \t\r\n\"'<>", start), text.size());
        const std::size_t hostEnd = std::min(text.find('/', start), tokenEnd);
        const std::string_view authority(text.data() + start, hostEnd - start);
        std::size_t infoEnd = authority.rfind('@');
        if (infoEnd != std::string_view::npos) {
            // The last "@" of the authority ends the user information: a password may hold an "@".
            infoEnd += start;
        } else {
            // A password may also hold a "/": "user:pa/ss@host" still counts as user information.
            const std::string_view token(text.data() + start, tokenEnd - start);
            const std::size_t at = token.find('@');
            if (at == std::string_view::npos || token.substr(0, at).find(':') == std::string_view::npos) {
                continue;
            }
            infoEnd = start + at;
        }
        text.erase(start, infoEnd - start + 1);
    }
}

}  // namespace paxid
