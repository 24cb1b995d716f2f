#pragma once

#include <string>
#include <string_view>

namespace paxid {

// The system's own content types.
inline constexpr std::string_view kContentTypeCollection = "application/paxid";
inline constexpr std::string_view kContentTypeCabinet = "application/paxidcab";
inline constexpr std::string_view kContentTypeIndexData = "application/indexdat";
inline constexpr std::string_view kContentTypeDataCrypt = "application/datacrypt";

// The first 16 bytes of an encrypted content package.
inline constexpr std::string_view kPackageSignature{"DataCrypt\0\xA5\xAA\xA5\xAA\xA5\xAA", 16};

// Content types and extensions are compared without regard to case.
bool SameContentType(std::string_view a, std::string_view b);

// Maps the names the MIME database and today's servers use onto the names
// of the system's own type lists ("application/xml" -> "text/xml"); any
// other type is returned as given.
std::string ToProgramContentType(std::string_view contentType);

// Ext includes its dot. The built-in table overrides the MIME database.
std::string ExtToContentType(std::string_view ext);
std::string ContentTypeToExt(std::string_view contentType);
// The content type of a local file from its name and its first bytes;
// empty when nothing is found.
std::string DetectContentType(const std::string& fileName);

// The extension of the file-name part of path, with its dot; empty when it has none.
std::string ExtractFileExt(std::string_view path);

}  // namespace paxid
