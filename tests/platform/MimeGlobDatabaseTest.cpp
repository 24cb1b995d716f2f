#include "platform/mime/MimeGlobDatabase.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

class MimeGlobDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(FFolder / "mime");
        test::WriteFile(FFolder / "mime/globs2",
                        "# comment\n"
                        "80:text/html:*.html\n"
                        "50:application/xhtml+xml:*.html\n"
                        "50:application/x-compressed-tar:*.tar.gz\n"
                        "50:application/gzip:*.gz\n"
                        "50:text/x-c++src:*.C:cs\n"
                        "50:text/x-csrc:*.c\n"
                        "50:text/x-makefile:makefile\n"
                        "50:video/x-anim:*.anim[1-9j]\n"
                        "50:image/jpeg:*.jpeg\n"
                        "50:image/jpeg:*.jpg\n"
                        "50:application/xml:*.xml\n"
                        "50:application/paxid:*.paxid\n"
                        "garbage line without fields\n");
        test::WriteFile(FFolder / "mime/aliases", "text/xml application/xml\n");
    }

    test::TScratchFolder FFolder;
};

TEST_F(MimeGlobDatabaseTest, AnswersByTheBestMatchingGlob) {
    const TMimeGlobDatabase database = TMimeGlobDatabase::FromFolders({FFolder / "mime"});
    const struct {
        const char* Name;
        const char* Type;
    } cases[] = {
        {"/a/b/page.HTML", "text/html"},            // heavier glob wins, case ignored
        {"backup.tar.gz", "application/x-compressed-tar"},  // longer pattern wins at equal weight
        {"x.gz", "application/gzip"},
        {"main.C", "text/x-c++src"},                // case-sensitive glob
        {"main.c", "text/x-csrc"},
        {"Makefile", "text/x-makefile"},            // literal name
        {"clip.anim5", "video/x-anim"},             // real wildcard
        {"list.paxid", "application/paxid"},
        {"doc.pdf", ""},                            // not in this database
        {"noextension", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(database.TypeForFileName(c.Name), c.Type);
    }
}

TEST_F(MimeGlobDatabaseTest, ReverseLookupFollowsAliases) {
    const TMimeGlobDatabase database = TMimeGlobDatabase::FromFolders({FFolder / "mime"});
    EXPECT_EQ(database.ExtensionForType("IMAGE/JPEG"), ".jpeg");
    EXPECT_EQ(database.ExtensionForType("text/xml"), ".xml");
    EXPECT_EQ(database.ExtensionForType("text/x-makefile"), "");
    EXPECT_EQ(database.ExtensionForType("application/unknown"), "");
}

TEST(MimeGlobDatabase, OwnTypesAreBuiltInAndMissingDatabaseAnswersNothingElse) {
    const TMimeGlobDatabase database = TMimeGlobDatabase::FromFolders({"/nonexistent/mime"});
    EXPECT_EQ(database.TypeForFileName("doc.PaxidCab"), "application/paxidcab");
    EXPECT_EQ(database.TypeForFileName("b.DATACRYPT"), "application/datacrypt");
    EXPECT_EQ(database.TypeForFileName("scan.jbg"), "image/jbig");
    EXPECT_EQ(database.TypeForFileName("page.tif"), "");
    EXPECT_EQ(database.ExtensionForType("application/paxid"), ".paxid");
}

}  // namespace
}  // namespace paxid
