#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace paxid {

// A rectangle in whatever coordinates its user states; Right and Bottom are exclusive.
struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

bool IsEmptyRect(const TRect& rect);
// "Left / Top / Right / Bottom" in decimal.
std::string RectToText(const TRect& rect);

// The text with A-Z turned into a-z and every other byte as it is: file names,
// schemes and host names compare this way whatever the user's locale.
std::string LowerASCII(std::string_view text);

// The Windows locale number of the user's locale (LC_ALL, else LC_CTYPE,
// else LANG) as decimal text; "1033" when it is unknown.
std::string UserLCIDText();
// The locale number of a POSIX locale name such as "sl_SI.UTF-8"; 1033 when unknown.
std::uint32_t LocaleNameToLCID(std::string_view localeName);

}  // namespace paxid
