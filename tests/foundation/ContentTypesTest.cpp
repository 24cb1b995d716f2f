#include "foundation/pContentTypes.h"

#include "foundation/pLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

using test::TScratchFolder;
using test::WriteFile;

TEST(ContentTypes, ExtensionsMapThroughTheBuiltInTableFirst) {
    const struct {
        const char* Ext;
        const char* Type;
    } cases[] = {
        {".JPG", "image/jpg"},        // the database says image/jpeg; the table wins
        {".jpeg", "image/jpeg"},
        {".TIFF", "image/tiff"},
        {".xml", "text/xml"},
        {".mht", "message/rfc822"},
        {".datacrypt", "application/datacrypt"},
        {".paxid", "application/paxid"},  // the program's own type, built into the database
        {".PaxidCab", "application/paxidcab"},
        {".bmp", "image/bmp"},          // database only
        {".noSuchExtension", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Ext);
        EXPECT_EQ(ExtToContentType(c.Ext), c.Type);
    }
    EXPECT_NE(LogLines().back().find(" - NIL - ExtToContentType  = "), std::string::npos) << LogLines().back();
}

TEST(ContentTypes, ContentTypesMapToExtensions) {
    const struct {
        const char* Type;
        const char* Ext;
    } cases[] = {
        {"image/tiff", ".tif"},  // never ".tiff"
        {"IMAGE/TIFF", ".tif"},
        {"image/tif", ".tif"},
        {"image/jpg", ".jpg"},
        {"text/xml", ".xml"},
        {"application/paxidcab", ".paxidcab"},
        {"text/rtf", ".rtf"},          // an alias of the database
        {"application/x-unknown-thing", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Type);
        EXPECT_EQ(ContentTypeToExt(c.Type), c.Ext);
    }
    EXPECT_NE(LogLines().back().find(" - NIL - ContentTypeToExt  = "), std::string::npos);
}

TEST(ContentTypes, ServerAndDatabaseNamesBecomeTheProgramsNames) {
    EXPECT_EQ(ToProgramContentType("application/xml"), "text/xml");
    EXPECT_EQ(ToProgramContentType("Application/XML"), "text/xml");
    EXPECT_EQ(ToProgramContentType("image/x-ms-bmp"), "image/bmp");
    EXPECT_EQ(ToProgramContentType("multipart/related"), "message/rfc822");
    EXPECT_EQ(ToProgramContentType("application/x-pdf"), "application/pdf");
    EXPECT_EQ(ToProgramContentType("image/tiff"), "image/tiff");
}

TEST(ContentTypes, DetectionByNameSignatureAndMagic) {
    TScratchFolder folder;
    const std::string signature(kPackageSignature);
    const struct {
        const char* Name;
        std::string Contents;
        const char* Type;
    } cases[] = {
        {"exact.bin", signature, ""},                                  // 16 bytes: never a package
        {"longer.bin", signature + "x", "application/datacrypt"},      // 17 bytes
        {"package.pdf", signature + "payload", "application/datacrypt"},  // signature beats the name
        {"near.bin", signature.substr(0, 15) + "Xpayload", ""},
        {"record.dat", "\"i02r\";data", "application/indexdat"},
        {"record.DAT", "\"I05U\"", "application/indexdat"},
        {"other.dat", "\"I03R\";data", ""},
        {"short.dat", "\"I0", ""},
        {"record.txt", "\"i02r\";data", "text/plain"},                  // typed by its name
        {"page.xml", "<a/>", "text/xml"},
        {"mail.mht", "MIME-Version: 1.0", "message/rfc822"},
        {"scan.TIF", "II*", "image/tiff"},
        {"list.paxid", "a.tif\r\n", "application/paxid"},
        {"noext", "hello", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFile(folder / c.Name, c.Contents);
        EXPECT_EQ(DetectContentType(folder / c.Name), c.Type);
    }
    EXPECT_EQ(DetectContentType(folder / "missing.tif"), "image/tiff");
    EXPECT_EQ(DetectContentType(folder / "missing.dat"), "");
    EXPECT_EQ(DetectContentType(folder.Path()), "");
}

}  // namespace
}  // namespace paxid
