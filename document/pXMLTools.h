#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct _xmlDoc;

namespace paxid {

// The namespace of the e-document structure (prefix "paxid" in selections).
inline constexpr std::string_view kEDocumentNamespace = "urn:verdanta:paxid:e-document:1";
inline constexpr std::string_view kXslNamespace = "http://www.w3.org/1999/XSL/Transform";

// Fetches an external stylesheet named by an "http..." reference; the window
// owns any dialog of the download. Returns the local file, or empty when it
// could not be fetched.
using TXmlFetch = std::function<std::string(const std::string& reference, std::uintptr_t windowHandle)>;
// Shows the user a message (caption, text) and returns when it was seen.
using TXmlMessageSink = std::function<void(const std::string& caption, const std::string& text)>;

// What a failed XML or XSLT step raises; its message names the cause.
class TXmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An XML document and the namespace declarations its selections use
// ("xmlns:p=\"uri\"", as a selection property). Owns the document; move-only.
class TXmlDocument {
public:
    TXmlDocument() = default;
    explicit TXmlDocument(_xmlDoc* doc) : FDoc(doc) {}
    ~TXmlDocument();
    TXmlDocument(TXmlDocument&& other) noexcept;
    TXmlDocument& operator=(TXmlDocument&& other) noexcept;
    TXmlDocument(const TXmlDocument&) = delete;
    TXmlDocument& operator=(const TXmlDocument&) = delete;

    // Parsed without network access, without DTD loading and without entity
    // substitution; a document that declares entities is refused. Throws
    // TXmlError when the file does not parse.
    static TXmlDocument LoadFile(const std::string& fileName);
    static TXmlDocument LoadText(const std::string& text);

    _xmlDoc* Get() const { return FDoc; }
    bool IsSet() const { return FDoc != nullptr; }

    std::string SelectionNamespaces;

private:
    _xmlDoc* FDoc = nullptr;
};

// Unpacks one XML file into files of the temporary folder that the viewer
// shows instead of the raw XML: the rendering of an embedded or e-document
// stylesheet, the decoded contents of a visualisation list or e-document,
// or a re-saved copy whose external stylesheet reference points to a local
// copy. Used once per file on the loader thread. Stylesheets run without
// network access and cannot write files or create folders; they may read
// only files beside the XML file and in the temporary folder.
class TXml {
public:
    TXml(TXmlFetch fetch, TXmlMessageSink messages);

    // Fills the fields below; true when a transformation or a re-save was
    // made. False without output when the file cannot be read. Throws
    // TXmlError when a step after loading fails (the caller falls back to
    // showing the XML itself); a failing e-document stylesheet is reported
    // through the message sink instead, with the caption "Error".
    bool Unpack(const std::string& fileName, std::uintptr_t windowHandle = 0);

    // Applies stylesheet to document (after writing their data-URI images to
    // files) and writes the result to a new ".htm" file, whose name it returns.
    std::string Transform(TXmlDocument& document, TXmlDocument& stylesheet);
    // Writes every "data:image/..." src of the document's img elements (in
    // the namespace of its first selection prefix) to a file and points the
    // attribute at it.
    void ExtractDataImages(TXmlDocument& doc);

    // OutputXml, TransformResult, then every produced file, skipping empty ones.
    std::vector<std::string> ReportedFiles() const;

    std::string SourceFile;
    std::string OutputXml;        // re-saved copy with a local stylesheet reference
    std::string TransformResult;  // HTML of the first transformation
    std::vector<std::string> ProducedFiles;  // decoded contents, in document order
    std::string StylesheetFile;   // local copy of an external stylesheet
    std::string DefaultEncoding;  // "Base64" for e-documents, else empty (raw text)

private:
    TXmlFetch FFetch;
    TXmlMessageSink FMessages;
};

// The children of an XML node: the files Unpack reports, in order. Empty when
// nothing was produced or unpacking failed (logged); the node then shows the
// XML itself.
std::vector<std::string> XmlChildNames(const std::string& fileName, std::uintptr_t windowHandle,
                                       const TXmlFetch& fetch, const TXmlMessageSink& messages);

// The extension a data-URI image subtype gives: "." + subtype when it is made
// of letters, digits, "+", "-" and "."; ".bin" otherwise.
std::string DataImageExtension(std::string_view subtype);

// Base64 text to bytes; characters outside the alphabet are skipped.
std::string DecodeBase64(std::string_view text);

}  // namespace paxid
