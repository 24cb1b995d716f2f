#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace paxid {

class TLang;
class TPageObj;
enum TDLType : std::uint8_t;

// The view a page is shown in, chosen by its type: office, web and XML pages
// in the web view, text and index data in the text view, images in the image
// view, anything else on the program sheet with its error.
enum class TPageView { Program, Image, Text, Web };
TPageView ViewForType(TDLType type);

// The program sheet's error text for a page: the translated error text and
// the code as 8 upper-case hexadecimal digits, or "Error: (" and the digits
// when the text has no translation; empty when the page has no error code.
std::string ErrorLabelText(const TPageObj& page, const TLang& lang);

// The built-in position format, used when the language file gives none.
inline constexpr std::string_view kDefaultThumbCaptionFormat = "Page %d of %d";

// The caption of a page in the thumbnail list and in the full-screen hint.
// index is the page's 0-based place in the content list, count the number
// of pages; level chooses the lines (1: position and error; 2: position,
// file name and error; 3: position, source name and error; else position
// only), joined by CR LF. format is the translated "ThumbCaption" text;
// empty or "Untranslated" selects the built-in one. A source URL is shown
// without its user name and password.
std::string ThumbCaption(const TPageObj& page, int index, int count, int level, std::string_view format);

// format with its first two "%d" replaced by first and second and "%%" by
// "%"; other characters are kept. Never reads past what it is given, so a
// language file cannot make it misbehave.
std::string FormatPosition(std::string_view format, int first, int second);

// The name a caption shows for a source that is not the page's own file:
// the URL without user name and password when it has a protocol and a host,
// else its last path segment.
std::string CaptionSourceName(std::string_view urlName);

}  // namespace paxid
