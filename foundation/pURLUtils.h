#pragma once

#include <string>
#include <string_view>

namespace paxid {

// Helpers for URLs that contain "://". The user information is the text
// from just after "://" up to and including the first "@" of the URL.

// Scheme and host lower-cased (ASCII letters), the rest from the first "/"
// after the host on unchanged; without such a "/" the text after "://" is
// kept as written. Empty when "://" is absent.
std::string NormalizeURL(std::string_view url);
std::string URLUserInfo(std::string_view url);
std::string URLUserName(std::string_view url);
std::string URLPassword(std::string_view url);
// The URL with its user information removed; unchanged without an "@".
std::string StripURLCredentials(std::string_view url);

// Removes the user information of every URL inside a free text (a log line),
// so that no user name or password is ever written out.
void RedactURLCredentials(std::string& text);

}  // namespace paxid
