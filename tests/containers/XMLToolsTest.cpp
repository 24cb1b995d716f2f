#include "document/pXMLTools.h"

#include "containers/ContainerTestSupport.h"
#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"

#include <gtest/gtest.h>

#include <chrono>

namespace paxid {
namespace {

using test::FolderNames;
using test::ReadFile;
using test::RunCommand;
using test::WriteFile;

std::string Base64(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16 |
                                std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                                static_cast<unsigned char>(bytes[i + 2]);
        text += {alphabet[n >> 18], alphabet[(n >> 12) & 63], alphabet[(n >> 6) & 63], alphabet[n & 63]};
    }
    if (i + 1 == bytes.size()) {
        const std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        text += {alphabet[n >> 18], alphabet[(n >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16 |
                                std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        text += {alphabet[n >> 18], alphabet[(n >> 12) & 63], alphabet[(n >> 6) & 63], '='};
    }
    return text;
}

const std::string kPdfBytes = "%PDF-1.4\n% a test document\n%%EOF\n";
const std::string kTiffBytes = std::string("II*\0\x08\0\0\0", 8) + "tiff body";
const std::string kPngBytes = std::string("\x89PNG\r\n\x1a\n", 8) + "png body";

// The e-document stylesheet: renders the title and keeps an image given as a data URI.
std::string EDocumentStylesheet(const std::string& extra = "") {
    return "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" xmlns:p=\"" +
           std::string(kEDocumentNamespace) +
           "\"><xsl:output method=\"html\"/><xsl:template match=\"/\"><html><body><h1><xsl:value-of "
           "select=\"/p:BKeDoc/p:Glava/p:Naslov\"/></h1><img src=\"data:image/png;base64," +
           Base64(kPngBytes) + "\"/>" + extra + "</body></html></xsl:template></xsl:stylesheet>";
}

std::string EDocument(const std::vector<std::pair<std::string, std::string>>& contents, const std::string& attrs = "") {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BKeDoc xmlns=\"" +
                      std::string(kEDocumentNamespace) + "\"><Glava><Naslov>Invoice 42</Naslov></Glava><Vsebina>";
    for (const auto& [type, data] : contents) {
        xml += "<Vizualizacija><Content MimeType=\"" + type + "\"" + attrs + ">" + Base64(data) +
               "</Content></Vizualizacija>";
    }
    return xml + "</Vsebina></BKeDoc>\n";
}

// A fresh temporary folder per test; fetches and messages are recorded.
class XmlTest : public test::TTempFolderTest {
protected:
    TXml MakeXml() {
        return TXml(
            [this](const std::string& reference, std::uintptr_t window) {
                FFetched.push_back(reference);
                FWindows.push_back(window);
                if (FFetchFailures > 0) {
                    --FFetchFailures;
                    return std::string();
                }
                const std::string local = FWork / ("fetched" + std::to_string(FFetched.size()) + ".xsl");
                WriteFile(local, EDocumentStylesheet());
                return local;
            },
            [this](const std::string& caption, const std::string& text) { FMessages.push_back(caption + ": " + text); });
    }
    std::string Source(const std::string& xml) {
        const std::string path = FWork / "doc.xml";
        WriteFile(path, xml);
        return path;
    }
    static std::string Ext(const std::string& path) { return ExtractFileExt(path); }

    std::vector<std::string> FFetched;
    std::vector<std::uintptr_t> FWindows;
    std::vector<std::string> FMessages;
    int FFetchFailures = 0;
};

TEST_F(XmlTest, EDocumentReportsTheRenderingFirstThenItsAttachmentsInOrder) {
    TXml xml = MakeXml();
    ASSERT_TRUE(xml.Unpack(Source(EDocument({{"application/pdf", kPdfBytes},
                                             {"image/tiff", kTiffBytes},
                                             {"text/xsl", EDocumentStylesheet()}}))));
    const std::vector<std::string> reported = xml.ReportedFiles();
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_EQ(Ext(reported[0]), ".htm");
    EXPECT_EQ(Ext(reported[1]), ".pdf");
    EXPECT_EQ(Ext(reported[2]), ".tif");
    EXPECT_EQ(ReadFile(reported[1]), kPdfBytes);
    EXPECT_EQ(ReadFile(reported[2]), kTiffBytes);
    EXPECT_EQ(xml.DefaultEncoding, "Base64");
    for (const std::string& file : reported) {
        EXPECT_EQ(ExtractFilePath(file), GetTempDir());
    }

    const std::string html = ReadFile(reported[0]);
    EXPECT_NE(html.find("<h1>Invoice 42</h1>"), std::string::npos) << html;
    const std::size_t src = html.find("src=\"");
    ASSERT_NE(src, std::string::npos);
    const std::string image = html.substr(src + 5, html.find('"', src + 5) - src - 5);
    EXPECT_EQ(Ext(image), ".png") << "the data URI became a file";
    EXPECT_EQ(ReadFile(image), kPngBytes);
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(XmlTest, OnlyTheFirstStylesheetIsAppliedAndNoStylesheetIsReported) {
    TXml xml = MakeXml();
    xml.Unpack(Source(EDocument({{"text/xsl", EDocumentStylesheet("<p>first</p>")},
                                 {"application/pdf", kPdfBytes},
                                 {"text/xsl", EDocumentStylesheet("<p>second</p>")}})));
    const std::vector<std::string> reported = xml.ReportedFiles();
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_NE(ReadFile(reported[0]).find("first"), std::string::npos);
    EXPECT_EQ(Ext(reported[1]), ".pdf");
    // The rendering, its image, the PDF and both stylesheets were written.
    EXPECT_EQ(FolderNames(FTemp.Path()).size(), 5u);
}

TEST_F(XmlTest, TextContentsWithoutFormatDependOnTheStructure) {
    struct TCase {
        const char* Name;
        std::string Xml;
        std::string Expected;  // the written text file
    };
    const std::string visualizations =
        "<Doc><Visualizations><V><Content ContentType=\"text/plain\">plain &amp; raw</Content></V>"
        "<V><Other/></V></Visualizations></Doc>";
    const std::string withFormat =
        "<Doc><Visualizations><V><Content MimeType=\"text/plain\" Format=\"Base64\">" + Base64("decoded") +
        "</Content></V></Visualizations></Doc>";
    const std::vector<TCase> cases = {
        {"e-document: Base64 by default", EDocument({{"text/plain", "e-doc text"}}), "e-doc text"},
        {"visualisation list: written unchanged (as XML text)", visualizations, "plain &amp; raw"},
        {"a Format attribute decides", withFormat, "decoded"},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        TXml xml = MakeXml();
        EXPECT_FALSE(xml.Unpack(Source(row.Xml))) << "no transformation was made";
        ASSERT_EQ(xml.ReportedFiles().size(), 1u);
        EXPECT_EQ(ReadFile(xml.ReportedFiles()[0]), row.Expected);
    }
}

TEST_F(XmlTest, EmbeddedStylesheetKeepsTheNamespacesDeclaredAboveIt) {
    const std::string text =
        "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"#Look\"?>\n"
        "<doc xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" xmlns:d=\"urn:data\">"
        "<xsl:stylesheet version=\"1.0\" Id=\"look\"><xsl:template match=\"/\"><out><xsl:value-of "
        "select=\"//d:item\"/></out></xsl:template></xsl:stylesheet><d:item>embedded works</d:item></doc>";
    TXml xml = MakeXml();
    ASSERT_TRUE(xml.Unpack(Source(text)));
    ASSERT_EQ(xml.ReportedFiles().size(), 1u);
    EXPECT_NE(ReadFile(xml.TransformResult).find("embedded works"), std::string::npos);
}

TEST_F(XmlTest, RawStylesheetInAVisualisationListUsesNamespacesDeclaredAboveIt) {
    const std::string text =
        "<Doc xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><Title>raw list</Title><Visualizations>"
        "<V><Content ContentType=\"text/xsl\"><xsl:stylesheet version=\"1.0\"><xsl:template match=\"/\">"
        "<p><xsl:value-of select=\"/Doc/Title\"/></p></xsl:template></xsl:stylesheet></Content></V>"
        "<V><Content ContentType=\"text/plain\">note</Content></V></Visualizations></Doc>";
    TXml xml = MakeXml();
    ASSERT_TRUE(xml.Unpack(Source(text)));
    ASSERT_EQ(xml.ReportedFiles().size(), 2u);
    EXPECT_NE(ReadFile(xml.ReportedFiles()[0]).find("raw list"), std::string::npos);
    EXPECT_EQ(ReadFile(xml.ReportedFiles()[1]), "note");
    EXPECT_TRUE(FMessages.empty());
}

TEST_F(XmlTest, ExternalStylesheetIsFetchedAndTheXmlResavedPointingToIt) {
    const std::string source = Source(
        "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href='http://server.example/s.xsl'?>\n"
        "<Doc><Visualizations><V><Content ContentType=\"text/plain\">x</Content></V></Visualizations></Doc>");
    FFetchFailures = 1;
    TXml xml = MakeXml();
    ASSERT_TRUE(xml.Unpack(source, 77));
    EXPECT_EQ(FFetched, (std::vector<std::string>{"http://server.example/s.xsl", "http://server.example/s.xsl"}))
        << "an empty destination is fetched once more";
    EXPECT_EQ(FWindows, (std::vector<std::uintptr_t>{77, 77}));
    ASSERT_EQ(xml.ReportedFiles(), std::vector<std::string>{xml.OutputXml}) << "contents wait for the next level";
    const std::string resaved = ReadFile(xml.OutputXml);
    EXPECT_NE(resaved.find("<?xml-stylesheet type=\"text/xsl\" href=\"" + xml.StylesheetFile + "\"?>"),
              std::string::npos)
        << resaved;

    // The next level unpacks the copy: a local reference, so only its contents remain.
    TXml again = MakeXml();
    again.Unpack(xml.OutputXml);
    EXPECT_EQ(FFetched.size(), 2u);
    EXPECT_EQ(again.OutputXml, "");
    EXPECT_EQ(again.ReportedFiles().size(), 1u);
}

TEST_F(XmlTest, PlainOrBrokenXmlReportsNothing) {
    struct TCase {
        const char* Name;
        std::string Text;
    };
    const std::vector<TCase> cases = {
        {"plain XML", "<?xml version=\"1.0\"?><root><a>text</a></root>"},
        {"relative stylesheet", "<?xml-stylesheet href=\"local.xsl\"?><root/>"},
        {"not well formed", "<root><a></root>"},
        {"not XML at all", std::string("\x89PNG\0\0", 6)},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        TXml xml = MakeXml();
        EXPECT_FALSE(xml.Unpack(Source(row.Text)));
        EXPECT_TRUE(xml.ReportedFiles().empty());
        EXPECT_TRUE(XmlChildNames(FWork / "doc.xml", 0, {}, {}).empty());
    }
    EXPECT_TRUE(XmlChildNames(FWork / "missing.xml", 0, {}, {}).empty());
    EXPECT_TRUE(FolderNames(FTemp.Path()).empty());
}

TEST_F(XmlTest, AFailingEDocumentStylesheetIsShownAsErrorAndUnpackingGoesOn) {
    TXml xml = MakeXml();
    EXPECT_FALSE(xml.Unpack(Source(EDocument({{"text/xsl", "<xsl:stylesheet broken"}, {"application/pdf", kPdfBytes}}))));
    ASSERT_EQ(FMessages.size(), 1u);
    EXPECT_EQ(FMessages[0].rfind("Error: ", 0), 0u) << FMessages[0];
    ASSERT_EQ(xml.ReportedFiles().size(), 1u);
    EXPECT_EQ(Ext(xml.ReportedFiles()[0]), ".pdf");
}

TEST_F(XmlTest, ExternalEntitiesAndEntityBombsAreNeverExpanded) {
    const std::string secret = FWork / "secret.txt";
    WriteFile(secret, "TOP-SECRET-CONTENT");
    struct TCase {
        const char* Name;
        std::string Xml;
    };
    std::string laughs = "<!DOCTYPE d [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    for (char c = 'b'; c <= 'k'; ++c) {
        const std::string previous(1, static_cast<char>(c - 1));
        laughs += "<!ENTITY " + std::string(1, c) + " \"";
        for (int i = 0; i < 10; ++i) {
            laughs += "&" + previous + ";";
        }
        laughs += "\">";
    }
    laughs += "]><Doc><Visualizations><V><Content ContentType=\"text/plain\">&k;</Content></V></Visualizations></Doc>";
    const std::vector<TCase> cases = {
        {"external entity in content",
         "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY x SYSTEM \"file://" + secret +
             "\">]><Doc><Visualizations><V><Content ContentType=\"text/plain\">&x;</Content></V>"
             "</Visualizations></Doc>"},
        {"external DTD", "<?xml version=\"1.0\"?><!DOCTYPE d SYSTEM \"file://" + secret + "\"><Doc/>"},
        {"billion laughs", laughs},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        const auto start = std::chrono::steady_clock::now();
        TXml xml = MakeXml();
        EXPECT_FALSE(xml.Unpack(Source(row.Xml)));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        for (const std::string& name : FolderNames(FTemp.Path())) {
            EXPECT_EQ(ReadFile(FTemp / name).find("TOP-SECRET"), std::string::npos) << name;
            EXPECT_LT(test::ReadFile(FTemp / name).size(), 100000u) << name;
        }
    }
}

std::size_t RefusalsLogged() {
    const std::vector<std::string> log = LogLines();
    return static_cast<std::size_t>(std::count_if(log.begin(), log.end(), [](const std::string& line) {
        return line.find("denied") != std::string::npos || line.find("refused") != std::string::npos;
    }));
}

TEST_F(XmlTest, StylesheetsCannotReadElsewhereWriteFilesOrReachTheNetwork) {
    const test::TScratchFolder outside;  // neither beside the document nor the temporary folder
    const std::string secret = outside / "secret.xml";
    WriteFile(secret, "<s>TOP-SECRET-CONTENT</s>");
    const std::string written = outside / "written.html";
    struct TCase {
        const char* Name;
        std::string Body;  // inside the template
        bool Aborts;       // the refusal stops the transformation
    };
    const std::vector<TCase> cases = {
        {"document() outside the allowed folders", "<xsl:value-of select=\"document('" + secret + "')\"/>", true},
        {"document() of a file URL outside", "<xsl:value-of select=\"document('file://" + secret + "')\"/>", true},
        {"document() over the network", "<xsl:value-of select=\"document('http://127.0.0.1:9/x.xml')\"/>", true},
        {"exsl:document writes a file",
         "<exsl:document href=\"" + written + "\">x</exsl:document>", true},
        {"xsl:document writes a file", "<xsl:document href=\"" + written + "\">x</xsl:document>", true},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        FMessages.clear();
        const std::size_t refusalsBefore = RefusalsLogged();
        const std::string style = "<xsl:stylesheet version=\"1.1\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\""
                                  " xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\">"
                                  "<xsl:template match=\"/\"><html>" + row.Body + "</html></xsl:template></xsl:stylesheet>";
        TXml xml = MakeXml();
        xml.Unpack(Source(EDocument({{"text/xsl", style}})));
        EXPECT_FALSE(std::filesystem::exists(written));
        for (const std::string& name : FolderNames(FTemp.Path())) {
            EXPECT_EQ(ReadFile(FTemp / name).find("TOP-SECRET"), std::string::npos) << name;
        }
        EXPECT_EQ(FMessages.size(), row.Aborts ? 1u : 0u);
        EXPECT_EQ(xml.TransformResult.empty(), row.Aborts);
        EXPECT_GT(RefusalsLogged(), refusalsBefore) << "refused by the security preferences";
    }

    // Files beside the document stay readable.
    WriteFile(FWork / "beside.xml", "<b>beside text</b>");
    const std::string style = "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                              "<xsl:template match=\"/\"><html><xsl:value-of select=\"document('" + FWork / "beside.xml" +
                              "')\"/></html></xsl:template></xsl:stylesheet>";
    TXml xml = MakeXml();
    xml.Unpack(Source(EDocument({{"text/xsl", style}})));
    ASSERT_FALSE(xml.TransformResult.empty());
    EXPECT_NE(ReadFile(xml.TransformResult).find("beside text"), std::string::npos);
}

TEST_F(XmlTest, DataImageSubtypesBecomeExtensionsOnlyWhenSafe) {
    struct TCase {
        const char* Subtype;
        const char* Ext;
    };
    for (const TCase row : {TCase{"png", ".png"}, TCase{"svg+xml", ".svg+xml"}, TCase{"x-icon", ".x-icon"},
                            TCase{"../../evil", ".bin"}, TCase{"a/b", ".bin"}, TCase{"", ".bin"},
                            TCase{"p ng", ".bin"}}) {
        SCOPED_TRACE(row.Subtype);
        EXPECT_EQ(DataImageExtension(row.Subtype), row.Ext);
    }
    TXmlDocument doc = TXmlDocument::LoadText("<html><img src=\"data:image/../../evil;base64," + Base64("x") +
                                              "\"/><img src=\"plain.png\"/><img alt=\"data:image/png;base64,AA\"/></html>");
    TXml xml = MakeXml();
    xml.ExtractDataImages(doc);
    const std::vector<std::string> files = FolderNames(FTemp.Path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Ext(files[0]), ".bin");
    EXPECT_EQ(ReadFile(FTemp / files[0]), "x");
}

TEST(XmlBase64, DecodesSkippingWhatIsNotOfTheAlphabet) {
    EXPECT_EQ(DecodeBase64("aGVs\nbG8g\r\nd29y bGQ="), "hello world");
    EXPECT_EQ(DecodeBase64(Base64(kTiffBytes)), kTiffBytes);
    EXPECT_EQ(DecodeBase64(""), "");
}

}  // namespace
}  // namespace paxid
