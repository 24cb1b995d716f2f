#pragma once

#include <string>
#include <string_view>

namespace paxid {

class TPageObj;

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
