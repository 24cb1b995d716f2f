#include "document/pXMLTools.h"

#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/posix/FileDescriptor.h"

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/documents.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace paxid {

namespace {

constexpr std::string_view kLogSender = "TXml";
// No network, no DTD loading, no entity substitution: external entities stay out.
constexpr int kParseOptions = XML_PARSE_NONET;

struct TXmlFree {
    void operator()(void* memory) const { xmlFree(memory); }
};
struct TXPathContextFree {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct TXPathObjectFree {
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
struct TXmlBufferFree {
    void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
struct TStylesheetFree {
    void operator()(xsltStylesheet* style) const { xsltFreeStylesheet(style); }
};
struct TTransformContextFree {
    void operator()(xsltTransformContext* context) const { xsltFreeTransformContext(context); }
};
struct TSecurityPrefsFree {
    void operator()(xsltSecurityPrefs* prefs) const { xsltFreeSecurityPrefs(prefs); }
};
struct TDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using TXmlString = std::unique_ptr<xmlChar, TXmlFree>;
using TXPathContext = std::unique_ptr<xmlXPathContext, TXPathContextFree>;
using TXPathObject = std::unique_ptr<xmlXPathObject, TXPathObjectFree>;
using TXmlBuffer = std::unique_ptr<xmlBuffer, TXmlBufferFree>;
using TStylesheet = std::unique_ptr<xsltStylesheet, TStylesheetFree>;
using TTransformContext = std::unique_ptr<xsltTransformContext, TTransformContextFree>;
using TSecurityPrefs = std::unique_ptr<xsltSecurityPrefs, TSecurityPrefsFree>;
using TDoc = std::unique_ptr<xmlDoc, TDocFree>;

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }
const xmlChar* X(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }
std::string S(const xmlChar* text) { return text == nullptr ? std::string() : reinterpret_cast<const char*>(text); }

// Collects what libxml2 and libxslt report during one operation on this
// thread and passes every line to the log: the one place their errors go.
// The handlers are C callbacks: they never throw.
class TXmlErrorScope {
public:
    TXmlErrorScope() {
        FPrevious = gCurrent;
        gCurrent = this;
        xmlSetStructuredErrorFunc(this, &TXmlErrorScope::OnStructuredError);
        xmlSetGenericErrorFunc(this, &TXmlErrorScope::OnGenericError);
    }
    ~TXmlErrorScope() {
        gCurrent = FPrevious;
        // Outside any scope the handlers still log, so libxml2 never prints on its own.
        xmlSetStructuredErrorFunc(FPrevious, &TXmlErrorScope::OnStructuredError);
        xmlSetGenericErrorFunc(FPrevious, &TXmlErrorScope::OnGenericError);
    }
    TXmlErrorScope(const TXmlErrorScope&) = delete;
    TXmlErrorScope& operator=(const TXmlErrorScope&) = delete;

    // The first reported line, for exception texts.
    const std::string& FirstMessage() const { return FFirst; }

    static void OnStructuredError(void* context, xmlErrorPtr error) {
        if (error == nullptr) {
            return;
        }
        try {
            std::string text = error->message == nullptr ? std::string("unknown error") : error->message;
            if (error->file != nullptr) {
                text += " (" + std::string(error->file) + ":" + std::to_string(error->line) + ")";
            }
            if (context != nullptr) {
                static_cast<TXmlErrorScope*>(context)->Add(text);
            } else {
                WriteLog(kLogSender, "libxml2: " + text);
            }
        } catch (...) {
        }
    }

    static void OnGenericError(void* context, const char* format, ...) {
        char text[1024];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        auto* scope = static_cast<TXmlErrorScope*>(context);
        if (scope == nullptr) {
            scope = gCurrent;
        }
        if (scope != nullptr) {
            scope->Add(text);
        } else {
            WriteLog(kLogSender, std::string("libxml2: ") + text);
        }
    }

    // libxslt's process-wide handler: forwards to the scope of this thread.
    static void OnXsltError(void*, const char* format, ...) {
        char text[1024];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        if (gCurrent != nullptr) {
            gCurrent->Add(text);
        } else {
            WriteLog(kLogSender, std::string("libxslt: ") + text);
        }
    }

private:
    void Add(std::string text) noexcept {
        try {
            while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
                text.pop_back();
            }
            if (text.empty()) {
                return;
            }
            if (FFirst.empty()) {
                FFirst = text;
            }
            WriteLog(kLogSender, "libxml2: " + text);
        } catch (...) {
        }
    }

    static thread_local TXmlErrorScope* gCurrent;
    TXmlErrorScope* FPrevious = nullptr;
    std::string FFirst;
};

thread_local TXmlErrorScope* TXmlErrorScope::gCurrent = nullptr;

// Folders a running stylesheet may read from; reached by libxslt's read
// check through the transform context's user data.
struct TReadPolicy {
    std::vector<std::string> Folders;  // canonical, each with a trailing '/'
};

std::string CanonicalFolder(const std::string& folder) {
    const std::string resolved = ResolveShellPath(folder.empty() ? std::string(".") : folder);
    return resolved.empty() ? std::string() : (resolved.back() == '/' ? resolved : resolved + "/");
}

// libxslt asks this before document() reads a file. C callback: never throws.
int CheckRead(xsltSecurityPrefsPtr, xsltTransformContextPtr context, const char* value) {
    try {
        if (context == nullptr || context->_private == nullptr || value == nullptr) {
            return 0;
        }
        std::string path = value;
        if (path.rfind("file://", 0) == 0) {
            path.erase(0, 7);
            if (path.rfind("localhost/", 0) == 0) {
                path.erase(0, 9);
            }
            const TXmlString unescaped(reinterpret_cast<xmlChar*>(xmlURIUnescapeString(path.c_str(), 0, nullptr)));
            path = S(unescaped.get());
        } else if (path.find("://") != std::string::npos) {
            return 0;
        }
        const std::string resolved = ResolveShellPath(path);
        const auto* policy = static_cast<const TReadPolicy*>(context->_private);
        for (const std::string& folder : policy->Folders) {
            if (!folder.empty() && resolved.rfind(folder, 0) == 0) {
                return 1;
            }
        }
        WriteLog(kLogSender, "Transform refused to read " + std::string(value));
        return 0;
    } catch (...) {
        return 0;
    }
}

bool DeclaresEntities(xmlDoc* doc) {
    for (xmlDtd* dtd : {doc->intSubset, doc->extSubset}) {
        if (dtd != nullptr && (dtd->entities != nullptr || dtd->pentities != nullptr)) {
            return true;
        }
    }
    return false;
}

// document() loads with these options instead of libxslt's own (which load
// DTDs and substitute entities). C callback: never throws.
xmlDocPtr LoadForStylesheet(const xmlChar* uri, xmlDictPtr, int, void*, xsltLoadType type) {
    try {
        if (type != XSLT_LOAD_DOCUMENT || uri == nullptr) {
            return nullptr;  // xsl:import and xsl:include are not followed
        }
        xmlDoc* doc = xmlReadFile(reinterpret_cast<const char*>(uri), nullptr, kParseOptions);
        if (doc != nullptr && DeclaresEntities(doc)) {
            xmlFreeDoc(doc);
            return nullptr;
        }
        return doc;
    } catch (...) {
        return nullptr;
    }
}

// Process-wide libxslt state, set once: errors to the log, document() through
// the safe loader, and defaults that forbid every file and network access
// outside a transform's own preferences.
void PrepareXslt() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xsltSetGenericErrorFunc(nullptr, &TXmlErrorScope::OnXsltError);
        xsltSetLoaderFunc(&LoadForStylesheet);
        exsltRegisterAll();
        xsltSecurityPrefs* defaults = xsltNewSecurityPrefs();
        for (const xsltSecurityOption option : {XSLT_SECPREF_READ_FILE, XSLT_SECPREF_WRITE_FILE,
                                                XSLT_SECPREF_CREATE_DIRECTORY, XSLT_SECPREF_READ_NETWORK,
                                                XSLT_SECPREF_WRITE_NETWORK}) {
            xsltSetSecurityPrefs(defaults, option, xsltSecurityForbid);
        }
        xsltSetDefaultSecurityPrefs(defaults);  // owned by libxslt from here on
    });
}

TXmlDocument Checked(xmlDoc* raw, const std::string& what, const TXmlErrorScope& errors) {
    TXmlDocument doc(raw);
    if (!doc.IsSet()) {
        throw TXmlError("cannot parse " + what + ": " + errors.FirstMessage());
    }
    if (DeclaresEntities(doc.Get())) {
        throw TXmlError(what + " declares entities; it is not unpacked");
    }
    return doc;
}

// Registers the prefixes of SelectionNamespaces ("xmlns:a=\"u\" xmlns:b='v'").
void RegisterNamespaces(xmlXPathContext* context, const std::string& declarations) {
    std::size_t at = 0;
    while ((at = declarations.find("xmlns:", at)) != std::string::npos) {
        const std::size_t equals = declarations.find('=', at);
        if (equals == std::string::npos || equals + 1 >= declarations.size()) {
            break;
        }
        const char quote = declarations[equals + 1];
        const std::size_t close = declarations.find(quote, equals + 2);
        if (close == std::string::npos) {
            break;
        }
        const std::string prefix = declarations.substr(at + 6, equals - at - 6);
        const std::string uri = declarations.substr(equals + 2, close - equals - 2);
        xmlXPathRegisterNs(context, X(prefix), X(uri));
        at = close + 1;
    }
}

// The nodes an XPath expression selects from the document, in document order.
std::vector<xmlNode*> Select(const TXmlDocument& doc, const std::string& expression) {
    const TXPathContext context(xmlXPathNewContext(doc.Get()));
    if (!context) {
        throw TXmlError("cannot select " + expression);
    }
    RegisterNamespaces(context.get(), doc.SelectionNamespaces);
    const TXPathObject result(xmlXPathEvalExpression(X(expression), context.get()));
    if (!result) {
        throw TXmlError("selection failed: " + expression);
    }
    std::vector<xmlNode*> nodes;
    if (result->type == XPATH_NODESET && result->nodesetval != nullptr) {
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            nodes.push_back(result->nodesetval->nodeTab[i]);
        }
    }
    return nodes;
}

std::string NodeXmlText(xmlDoc* doc, xmlNode* node) {
    const TXmlBuffer buffer(xmlBufferCreate());
    if (!buffer || xmlNodeDump(buffer.get(), doc, node, 0, 0) < 0) {
        throw TXmlError("cannot serialise a content node");
    }
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

bool HasAttribute(xmlNode* node, const char* name) { return xmlHasNsProp(node, X(name), nullptr) != nullptr; }

std::string Attribute(xmlNode* node, const char* name) {
    const TXmlString value(xmlGetNoNsProp(node, X(name)));
    return S(value.get());
}

// A new file in the temporary folder, created exclusively so that nothing
// planted under its name is followed.
void WriteNewFile(const std::string& path, std::string_view data) {
    const TFileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.IsOpen() || !WriteAll(file.Get(), data.data(), data.size())) {
        throw TXmlError("cannot write " + path + ": " + std::strerror(errno));
    }
}

std::string CaseFolded(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

std::string QualifiedName(const xmlNode* node) {
    const std::string local = S(node->name);
    return node->ns != nullptr && node->ns->prefix != nullptr ? S(node->ns->prefix) + ":" + local : local;
}

void CollectElements(xmlNode* node, std::vector<xmlNode*>& elements) {
    for (xmlNode* child = node; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            elements.push_back(child);
            CollectElements(child->children, elements);
        }
    }
}

// The embedded stylesheet named by id, with its id attributes removed.
xmlNode* FindEmbeddedStylesheet(TXmlDocument& doc, const std::string& id) {
    doc.SelectionNamespaces = "xmlns:xsl=\"" + std::string(kXslNamespace) + "\"";
    std::vector<xmlNode*> elements;
    CollectElements(xmlDocGetRootElement(doc.Get()), elements);
    for (xmlNode* element : elements) {
        if (CaseFolded(QualifiedName(element)) != "xsl:stylesheet") {
            continue;
        }
        const std::string value = HasAttribute(element, "id") ? Attribute(element, "id") : Attribute(element, "Id");
        if (CaseFolded(value) == CaseFolded(id)) {
            xmlUnsetProp(element, X("id"));
            xmlUnsetProp(element, X("Id"));
            return element;
        }
    }
    return nullptr;
}

// A document of its own made from an element, keeping the namespace
// declarations in scope (XPath attributes use prefixes declared above it).
TXmlDocument DocumentOfElement(xmlDoc* source, xmlNode* element) {
    TXmlDocument doc(xmlNewDoc(X("1.0")));
    xmlNode* copy = doc.IsSet() ? xmlDocCopyNode(element, doc.Get(), 1) : nullptr;
    if (copy == nullptr) {
        throw TXmlError("cannot copy the embedded stylesheet");
    }
    xmlDocSetRootElement(doc.Get(), copy);
    if (xmlNs** inScope = xmlGetNsList(source, element)) {
        for (xmlNs** ns = inScope; *ns != nullptr; ++ns) {
            if (xmlSearchNs(doc.Get(), copy, (*ns)->prefix) == nullptr) {
                xmlNewNs(copy, (*ns)->href, (*ns)->prefix);
            }
        }
        xmlFree(inScope);
    }
    xmlReconciliateNs(doc.Get(), copy);
    return doc;
}

// The XML text of a content's first child node. An element is written with
// the namespace declarations it uses from above, so it parses on its own.
std::string ContentXmlText(xmlDoc* doc, xmlNode* first) {
    if (first == nullptr) {
        return {};
    }
    if (first->type != XML_ELEMENT_NODE) {
        return NodeXmlText(doc, first);
    }
    const TXmlDocument own = DocumentOfElement(doc, first);
    return NodeXmlText(own.Get(), xmlDocGetRootElement(own.Get()));
}

xmlNode* FirstChildElement(xmlNode* parent, const char* name, const char* namespaceUri) {
    for (xmlNode* child = parent->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE || S(child->name) != name) {
            continue;
        }
        const bool inNamespace = child->ns != nullptr && child->ns->href != nullptr;
        if (namespaceUri == nullptr ? !inNamespace : (inNamespace && S(child->ns->href) == namespaceUri)) {
            return child;
        }
    }
    return nullptr;
}

}  // namespace

TXmlDocument::~TXmlDocument() {
    if (FDoc != nullptr) {
        xmlFreeDoc(FDoc);
    }
}

TXmlDocument::TXmlDocument(TXmlDocument&& other) noexcept
    : SelectionNamespaces(std::move(other.SelectionNamespaces)), FDoc(other.FDoc) {
    other.FDoc = nullptr;
}

TXmlDocument& TXmlDocument::operator=(TXmlDocument&& other) noexcept {
    if (this != &other) {
        if (FDoc != nullptr) {
            xmlFreeDoc(FDoc);
        }
        FDoc = other.FDoc;
        other.FDoc = nullptr;
        SelectionNamespaces = std::move(other.SelectionNamespaces);
    }
    return *this;
}

TXmlDocument TXmlDocument::LoadFile(const std::string& fileName) {
    PrepareXslt();
    const TXmlErrorScope errors;
    return Checked(xmlReadFile(fileName.c_str(), nullptr, kParseOptions), fileName, errors);
}

TXmlDocument TXmlDocument::LoadText(const std::string& text) {
    PrepareXslt();
    const TXmlErrorScope errors;
    return Checked(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, kParseOptions),
                   "XML text", errors);
}

TXml::TXml(TXmlFetch fetch, TXmlMessageSink messages) : FFetch(std::move(fetch)), FMessages(std::move(messages)) {}

std::vector<std::string> TXml::ReportedFiles() const {
    std::vector<std::string> files;
    if (!OutputXml.empty()) {
        files.push_back(OutputXml);
    }
    if (!TransformResult.empty()) {
        files.push_back(TransformResult);
    }
    for (const std::string& file : ProducedFiles) {
        if (!file.empty()) {
            files.push_back(file);
        }
    }
    return files;
}

bool TXml::Unpack(const std::string& fileName, std::uintptr_t windowHandle) {
    WriteLog(kLogSender, "Unpack BEGIN " + fileName);
    SourceFile = fileName;
    TXmlDocument doc;
    try {
        doc = TXmlDocument::LoadFile(fileName);
    } catch (const TXmlError& error) {
        // Fallback: nothing reported, the XML is shown as it is.
        WriteLog(kLogSender, std::string("Unpack cannot load the file: ") + error.what());
        return false;
    }
    const TXmlErrorScope errors;
    ProducedFiles.clear();

    xmlNode* embedded = nullptr;
    for (xmlNode* node = doc.Get()->children; node != nullptr; node = node->next) {
        if (node->type != XML_PI_NODE || S(node->name) != "xml-stylesheet") {
            continue;
        }
        const std::string data = S(node->content);
        const std::size_t href = data.find("href=");
        if (href != std::string::npos) {
            std::string reference = data.substr(href + 5);
            reference.erase(std::remove_if(reference.begin(), reference.end(),
                                           [](char c) { return c == '"' || c == '\''; }),
                            reference.end());
            if (!reference.empty() && reference.front() == '#') {
                reference.erase(std::remove(reference.begin(), reference.end(), '#'), reference.end());
                embedded = FindEmbeddedStylesheet(doc, reference);
            } else if (reference.rfind("http", 0) == 0) {
                StylesheetFile = FFetch ? FFetch(reference, windowHandle) : std::string();
                if (StylesheetFile.empty() && FFetch) {
                    StylesheetFile = FFetch(reference, windowHandle);
                }
                WriteLog(kLogSender, "Unpack stylesheet " + reference + " fetched to " + StylesheetFile);
                const std::string pi = "type=\"text/xsl\" href=\"" + StylesheetFile + "\"";
                xmlNodeSetContent(node, X(pi));
                OutputXml = MakeTempFileName(".xml");
                xmlChar* text = nullptr;
                int size = 0;
                xmlDocDumpMemoryEnc(doc.Get(), &text, &size,
                                    doc.Get()->encoding != nullptr ? reinterpret_cast<const char*>(doc.Get()->encoding)
                                                                   : "UTF-8");
                const TXmlString owned(text);
                if (!owned) {
                    throw TXmlError("cannot save " + OutputXml);
                }
                WriteNewFile(OutputXml, std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)));
                WriteLog(kLogSender, "Unpack END");
                return true;
            }
        }
        break;  // only the first stylesheet instruction counts
    }

    if (embedded != nullptr) {
        TXmlDocument stylesheet = DocumentOfElement(doc.Get(), embedded);
        TransformResult = Transform(doc, stylesheet);
    }

    doc.SelectionNamespaces.clear();
    std::vector<xmlNode*> items = Select(doc, "/*/Visualizations/*");
    const char* contentNamespace = nullptr;
    if (items.empty()) {
        doc.SelectionNamespaces = "xmlns:paxid=\"" + std::string(kEDocumentNamespace) + "\"";
        items = Select(doc, "/paxid:BKeDoc/paxid:Vsebina/paxid:Vizualizacija");
        DefaultEncoding = "Base64";
        contentNamespace = kEDocumentNamespace.data();
        if (items.empty()) {
            doc.SelectionNamespaces.clear();
            WriteLog(kLogSender, "Unpack END");
            return !TransformResult.empty();
        }
    }
    for (xmlNode* item : items) {
        xmlNode* content = FirstChildElement(item, "Content", contentNamespace);
        if (content == nullptr) {
            continue;
        }
        const std::string contentType =
            HasAttribute(content, "MimeType") ? Attribute(content, "MimeType") : Attribute(content, "ContentType");
        std::string encoding = "Base64";
        if (contentType.rfind("text", 0) == 0) {
            const std::string format = Attribute(content, "Format");
            encoding = format.empty() ? DefaultEncoding : format;
        }
        const std::string out = MakeTempFileName(ContentTypeToExt(contentType));
        const std::string data = ContentXmlText(doc.Get(), content->children);
        WriteNewFile(out, encoding == "Base64" ? DecodeBase64(data) : data);
        if (contentType == "text/xsl") {
            if (TransformResult.empty()) {
                try {
                    TXmlDocument stylesheet = TXmlDocument::LoadFile(out);
                    TransformResult = Transform(doc, stylesheet);
                } catch (const std::exception& error) {
                    WriteLog(kLogSender, std::string("Unpack stylesheet Exception : ") + error.what());
                    if (FMessages) {
                        FMessages("Error", error.what());
                    }
                }
            }
            continue;  // a stylesheet is never a page of its own
        }
        ProducedFiles.push_back(out);
    }
    WriteLog(kLogSender, "Unpack END");
    return !TransformResult.empty();
}

std::string TXml::Transform(TXmlDocument& document, TXmlDocument& stylesheet) {
    PrepareXslt();
    ExtractDataImages(document);
    ExtractDataImages(stylesheet);
    const TXmlErrorScope errors;

    // libxslt takes the parsed document over: give it a copy of its own.
    TDoc copy(xmlCopyDoc(stylesheet.Get(), 1));
    if (!copy) {
        throw TXmlError("cannot copy the stylesheet");
    }
    const TStylesheet style(xsltParseStylesheetDoc(copy.get()));
    if (!style) {
        throw TXmlError("the stylesheet does not compile: " + errors.FirstMessage());
    }
    copy.release();  // owned by style now

    const TTransformContext context(xsltNewTransformContext(style.get(), document.Get()));
    const TSecurityPrefs security(xsltNewSecurityPrefs());
    if (!context || !security) {
        throw TXmlError("cannot start the transformation");
    }
    for (const xsltSecurityOption option :
         {XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY, XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK}) {
        xsltSetSecurityPrefs(security.get(), option, xsltSecurityForbid);
    }
    xsltSetSecurityPrefs(security.get(), XSLT_SECPREF_READ_FILE, &CheckRead);
    TReadPolicy policy;
    for (const std::string& folder : {ExtractFilePath(SourceFile), GetTempDir()}) {
        if (const std::string canonical = CanonicalFolder(folder); !canonical.empty()) {
            policy.Folders.push_back(canonical);
        }
    }
    context->_private = &policy;
    xsltSetCtxtSecurityPrefs(security.get(), context.get());

    const TDoc result(xsltApplyStylesheetUser(style.get(), document.Get(), nullptr, nullptr, nullptr, context.get()));
    if (!result || context->state == XSLT_STATE_ERROR || context->state == XSLT_STATE_STOPPED) {
        throw TXmlError("the transformation failed: " + errors.FirstMessage());
    }
    xmlChar* text = nullptr;
    int size = 0;
    if (xsltSaveResultToString(&text, &size, result.get(), style.get()) != 0) {
        throw TXmlError("cannot serialise the transformation result");
    }
    const TXmlString owned(text);
    const std::string fileName = MakeTempFileName(".htm");
    WriteNewFile(fileName, owned ? std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size))
                                 : std::string_view());
    return fileName;
}

void TXml::ExtractDataImages(TXmlDocument& doc) {
    std::string prefix;
    if (doc.SelectionNamespaces.rfind("xmlns:", 0) == 0) {
        prefix = doc.SelectionNamespaces.substr(6, doc.SelectionNamespaces.find('=') - 6) + ":";
    }
    for (xmlNode* element : Select(doc, "//" + prefix + "img")) {
        for (xmlAttr* attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
            if (S(attribute->name) != "src" || attribute->ns != nullptr) {
                continue;
            }
            const TXmlString raw(xmlNodeListGetString(doc.Get(), attribute->children, 1));
            const std::string value = S(raw.get());
            if (value.rfind("data:image/", 0) != 0) {
                continue;
            }
            const std::string rest = value.substr(11);
            const std::string subtype = rest.substr(0, rest.find(';'));
            const std::size_t comma = rest.find(',');
            const std::string data = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
            const std::string out = MakeTempFileName(DataImageExtension(subtype));
            WriteNewFile(out, DecodeBase64(data));
            xmlSetProp(element, X("src"), X(out));
            break;  // the attribute list changed under us; one src per element
        }
    }
}

std::vector<std::string> XmlChildNames(const std::string& fileName, std::uintptr_t windowHandle,
                                       const TXmlFetch& fetch, const TXmlMessageSink& messages) {
    TXml xml(fetch, messages);
    try {
        xml.Unpack(fileName, windowHandle);
    } catch (const std::exception& error) {
        // Fallback: the XML file itself becomes the page.
        WriteLog(kLogSender, std::string("Unpack Exception : ") + error.what());
        return {};
    }
    return xml.ReportedFiles();
}

std::string DataImageExtension(std::string_view subtype) {
    const bool safe = !subtype.empty() && std::all_of(subtype.begin(), subtype.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
               c == '.';
    });
    return safe ? "." + std::string(subtype) : std::string(".bin");
}

std::string DecodeBase64(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (const char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z') {
            value = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            value = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            value = c - '0' + 52;
        } else if (c == '+' || c == '-') {
            value = 62;
        } else if (c == '/' || c == '_') {
            value = 63;
        } else if (c == '=') {
            break;
        }
        if (value < 0) {
            continue;
        }
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((accumulator >> bits) & 0xFF);
        }
    }
    return bytes;
}

}  // namespace paxid
