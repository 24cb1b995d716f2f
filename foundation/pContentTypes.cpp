#include "foundation/pContentTypes.h"

#include "foundation/pLog.h"
#include "platform/mime/MimeGlobDatabase.h"
#include "platform/posix/FileDescriptor.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace paxid {

namespace {

using TTypePair = std::pair<std::string_view, std::string_view>;

constexpr std::array<TTypePair, 20> kExtensionTable{{
    {".tif", "image/tiff"},
    {".tiff", "image/tiff"},
    {".jpeg", "image/jpeg"},
    {".jpg", "image/jpg"},
    {".gif", "image/gif"},
    {".png", "image/png"},
    {".txt", "text/plain"},
    {".html", "text/html"},
    {".htm", "text/html"},
    {".mht", "message/rfc822"},
    {".css", "text/css"},
    {".csv", "text/csv"},
    {".xml", "text/xml"},
    {".rtf", "application/rtf"},
    {".pdf", "application/pdf"},
    {".ppt", "application/vnd.ms-powerpoint"},
    {".mpp", "application/vnd.ms-project"},
    {".pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {".vsd", "application/vnd.visio"},
    {".datacrypt", "application/datacrypt"},
}};

constexpr std::array<TTypePair, 28> kContentTypeTable{{
    {"image/tiff", ".tif"},
    {"image/tif", ".tif"},
    {"image/tiff-fx", ".tif"},
    {"image/jpeg", ".jpg"},
    {"image/pjpeg", ".jpg"},
    {"image/jpg", ".jpg"},
    {"image/gif", ".gif"},
    {"image/png", ".png"},
    {"text/plain", ".txt"},
    {"text/html", ".html"},
    {"message/rfc822", ".mht"},
    {"text/htm", ".htm"},
    {"text/css", ".css"},
    {"text/csv", ".csv"},
    {"text/xml", ".xml"},
    {"text/xml-external-parsed-entity", ".xml"},
    {"text/xsl", ".xml"},
    {"application/rtf", ".rtf"},
    {"text/rtf", ".rtf"},
    {"text/richtext", ".rtf"},
    {"application/pdf", ".pdf"},
    {"application/powerpoint", ".ppt"},
    {"application/vnd.ms-powerpoint", ".ppt"},
    {"application/project", ".mpp"},
    {"application/vnd.ms-project", ".mpp"},
    {"application/vnd.openxmlformats-officedocument.presentationml.presentation", ".pptx"},
    {"application/visio", ".vsd"},
    {"application/vnd.visio", ".vsd"},
}};

// Names of the MIME database and of servers -> names of the system's lists.
constexpr std::array<TTypePair, 10> kAliasTable{{
    {"application/xml", "text/xml"},
    {"application/x-mimearchive", "message/rfc822"},
    {"multipart/related", "message/rfc822"},
    {"image/x-ms-bmp", "image/bmp"},
    {"image/x-bmp", "image/bmp"},
    {"application/oxps", "application/vnd.ms-xpsdocument"},
    {"application/x-pdf", "application/pdf"},
    {"application/xhtml+xml", "text/html"},
    {"image/x-jbig", "image/jbig"},
    {"application/xslt+xml", "text/xsl"},
}};

constexpr std::array<std::string_view, 3> kIndexDataMagics{"\"I02R\"", "\"I04T\"", "\"I05U\""};

char UpperASCII(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

template <std::size_t N>
std::string_view Lookup(const std::array<TTypePair, N>& table, std::string_view key) {
    const auto row = std::find_if(table.begin(), table.end(),
                                  [key](const TTypePair& pair) { return SameContentType(pair.first, key); });
    return row == table.end() ? std::string_view() : row->second;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// Reads exactly size bytes from the start of the file; false on any error.
bool ReadHead(const std::string& fileName, std::size_t size, std::string& head, off_t& fileSize) {
    TFileDescriptor file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    fileSize = info.st_size;
    head.assign(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(file.Get(), head.data() + got, size - got);
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool StartsWithPackageSignature(const std::string& fileName) {
    std::string head;
    off_t size = 0;
    return ReadHead(fileName, kPackageSignature.size(), head, size) &&
           size > static_cast<off_t>(kPackageSignature.size()) && head == kPackageSignature;
}

bool StartsWithIndexDataMagic(const std::string& fileName) {
    std::string head;
    off_t size = 0;
    if (!ReadHead(fileName, 6, head, size)) {
        return false;
    }
    std::transform(head.begin(), head.end(), head.begin(), UpperASCII);
    return std::find(kIndexDataMagics.begin(), kIndexDataMagics.end(), head) != kIndexDataMagics.end();
}

// The database often lists several extensions of equal weight for a type;
// among them the one the built-in table names is the one users expect.
std::string ExtensionFromDatabase(std::string_view contentType) {
    const std::vector<std::string> extensions = TMimeGlobDatabase::System().ExtensionsForType(contentType);
    if (extensions.empty()) {
        return {};
    }
    const std::string_view preferred = Lookup(kContentTypeTable, ToProgramContentType(contentType));
    const auto match = std::find_if(extensions.begin(), extensions.end(),
                                    [preferred](const std::string& ext) { return SameContentType(ext, preferred); });
    return match != extensions.end() ? *match : extensions.front();
}

}  // namespace

bool SameContentType(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return UpperASCII(x) == UpperASCII(y); });
}

std::string ToProgramContentType(std::string_view contentType) {
    const std::string_view mapped = Lookup(kAliasTable, contentType);
    return std::string(mapped.empty() ? contentType : mapped);
}

std::string ExtractFileExt(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ExtToContentType(std::string_view ext) {
    std::string result;
    if (!ext.empty()) {
        const std::string fromDatabase = TMimeGlobDatabase::System().TypeForFileName("x" + std::string(ext));
        result = fromDatabase.empty() ? std::string() : ToProgramContentType(fromDatabase);
    }
    const std::string_view builtIn = Lookup(kExtensionTable, ext);
    if (!builtIn.empty()) {
        result = builtIn;
    }
    WriteLog(nullptr, "ExtToContentType " + std::string(ext) + " = " + result);
    return result;
}

std::string ContentTypeToExt(std::string_view contentType) {
    std::string result = contentType.empty() ? std::string() : ExtensionFromDatabase(contentType);
    if (TrimBlanks(result).empty() && !contentType.empty()) {
        result = Lookup(kContentTypeTable, contentType);
    }
    if (SameContentType(result, ".tiff")) {
        result = ".tif";
    }
    WriteLog(nullptr, "ContentTypeToExt " + std::string(contentType) + " = " + result);
    return result;
}

std::string DetectContentType(const std::string& fileName) {
    const std::string fromName = TMimeGlobDatabase::System().TypeForFileName(fileName);
    const std::string candidate = fromName.empty() ? std::string() : ToProgramContentType(fromName);
    if (StartsWithPackageSignature(fileName)) {
        return std::string(kContentTypeDataCrypt);
    }
    if (!candidate.empty()) {
        return candidate;
    }
    const std::string ext = ExtractFileExt(fileName);
    std::string result = ExtToContentType(ext);
    if (result.empty() && SameContentType(ext, ".DAT") && StartsWithIndexDataMagic(fileName)) {
        result = kContentTypeIndexData;
    }
    return result;
}

}  // namespace paxid
