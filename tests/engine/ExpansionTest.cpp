#include "EngineSupport.h"

#include "foundation/pLog.h"
#include "document/pXMLTools.h"
#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "retrieval/pDL.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace paxid {
namespace {

using test::AddSource;
using test::LoadAll;
using test::WriteFile;

class ExpansionTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return FFolder / name; }

    std::vector<std::string> PageNames() {
        std::vector<std::string> names;
        for (int i = 0; i < FRoot.ContentCount(); ++i) {
            const TPageListObj& page = *FRoot.ContentItem(i);
            names.push_back(ExtractFileName(page.URLName) + "#" + std::to_string(page.PageNo));
        }
        return names;
    }

    test::TScratchFolder FFolder;
    test::TScopedEnv FTemp{"PAXID_TEMP_DIR", FFolder / "tmp"};
    TQueueMainThread FMainThread;
    TPageRoot FRoot{FMainThread};
};

TEST_F(ExpansionTest, PageSuffixSelectsOnePageOfAMultiPageFile) {
    test::MakeImage(Path("three.tif"), 3);
    AddSource(FRoot, Path("three.tif") + ";2");
    AddSource(FRoot, Path("three.tif"));
    AddSource(FRoot, Path("three.tif") + ";x");  // not a page number: taken whole, not found
    LoadAll(FRoot, FMainThread);
    EXPECT_EQ(PageNames(), (std::vector<std::string>{"three.tif;2#2", "three.tif#1", "three.tif#2", "three.tif#3",
                                                     "three.tif;x#0"}));
    EXPECT_EQ(FRoot.ContentItem(0)->DLType, dltImage);
    EXPECT_EQ(FRoot.ContentItem(4)->DLType, dltMissing);
}

TEST_F(ExpansionTest, SourcesAreTypedByNameAndContent) {
    WriteFile(Path("note.txt"), "text");
    WriteFile(Path("page.html"), "<p>x</p>");
    WriteFile(Path("broken.tif"), "not a tiff at all");
    WriteFile(Path("data.bin"), "\x01\x02");
    const struct {
        const char* Name;
        TDLType Type;
        const char* ContentType;
    } cases[] = {
        {"note.txt", dltFileText, "text/plain"},
        {"page.html", dltFileWeb, "text/html"},
        {"broken.tif", dltFileOther, "image/tiff"},  // an image that cannot be read is another file
        {"data.bin", dltFileOther, ""},  // no type known for it
        {"missing.png", dltMissing, ""},
    };
    for (const auto& c : cases) {
        AddSource(FRoot, Path(c.Name));
    }
    LoadAll(FRoot, FMainThread);
    ASSERT_EQ(FRoot.ContentCount(), 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(cases[i].Name);
        EXPECT_EQ(FRoot.ContentItem(i)->DLType, cases[i].Type);
        EXPECT_EQ(FRoot.ContentItem(i)->ContentType, cases[i].ContentType);
        EXPECT_NE(FRoot.ContentItem(i)->Thumbnail, nullptr);
    }
}

TEST_F(ExpansionTest, CollectionListsExpandLevelByLevelAndResolveAgainstTheirFolder) {
    std::filesystem::create_directory(Path("sub"));
    test::MakeImage(Path("sub/a.png"));
    test::MakeImage(Path("sub/b.tif"), 2);
    WriteFile(Path("sub/inner.paxid"), "b.tif\r\n");
    WriteFile(Path("sub/list.paxid"), "  a.png  \r\n\r\n   \r\ninner.paxid\r\n..\\sub\\A.PNG\r\n");
    AddSource(FRoot, Path("sub/list.paxid"));
    std::vector<std::string> passes;
    WriteLog(nullptr, "marker before the load");
    LoadAll(FRoot, FMainThread);
    EXPECT_EQ(PageNames(), (std::vector<std::string>{"a.png#1", "b.tif#1", "b.tif#2", "..\\sub\\A.PNG#1"}));
    const std::vector<std::string> lines = LogLines();
    auto line = std::find_if(lines.rbegin(), lines.rend(),
                             [](const std::string& text) { return text.find("marker before the load") != std::string::npos; });
    for (auto it = line.base(); it != lines.end(); ++it) {
        const std::size_t at = it->find("ExpandAllLevels cnt=");
        if (at != std::string::npos) {
            passes.push_back(it->substr(at + 16));
        }
    }
    // Pass 1 reads the list (3 children), pass 2 the inner list (1 child), pass 3 adds nothing.
    EXPECT_EQ(passes, (std::vector<std::string>{"cnt=3 lvl=1", "cnt=1 lvl=2", "cnt=0 lvl=3"}));
    EXPECT_EQ(FRoot.CompletedCount(), FRoot.NodeCount());
}

TEST_F(ExpansionTest, AListNamingItselfStopsAfter101Passes) {
    WriteFile(Path("self.paxid"), "self.paxid\r\n");
    AddSource(FRoot, Path("self.paxid"));
    LoadAll(FRoot, FMainThread);
    EXPECT_EQ(FRoot.NodeCount(), 102);
    EXPECT_EQ(FRoot.Nodes(101)->Level, 102);
}

TEST_F(ExpansionTest, PagesLandingInFrontMakeTheNewFirstPageCurrent) {
    test::MakeImage(Path("late.png"));
    test::MakeImage(Path("early.png"));
    WriteFile(Path("list.paxid"), "late.png\r\n");
    AddSource(FRoot, Path("list.paxid"));
    AddSource(FRoot, Path("early.png"));
    std::vector<std::string> currentEvents;
    FRoot.OnCurrentContentChanged = [&](TPageListObj* page) {
        EXPECT_TRUE(FMainThread.IsMainThread());
        currentEvents.push_back(ExtractFileName(page->URLName));
    };
    LoadAll(FRoot, FMainThread);
    EXPECT_EQ(PageNames(), (std::vector<std::string>{"late.png#1", "early.png#1"}));
    EXPECT_EQ(FRoot.CurrentContentIndex.load(), 0);
    EXPECT_EQ(currentEvents, (std::vector<std::string>{"early.png", "late.png"}));
}

TEST_F(ExpansionTest, NavigationStaysInsideThePages) {
    test::MakeImage(Path("two.tif"), 2);
    AddSource(FRoot, Path("two.tif"));
    LoadAll(FRoot, FMainThread);
    int events = 0;
    FRoot.OnCurrentContentChanged = [&events](TPageListObj*) { ++events; };
    ASSERT_EQ(FRoot.CurrentContentIndex.load(), 0);
    EXPECT_TRUE(FRoot.IsFirstContent());
    EXPECT_EQ(FRoot.PrevContent(), nullptr);  // no page is current, and no event
    EXPECT_EQ(FRoot.CurrentContentIndex.load(), -1);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(FRoot.NextContent(), FRoot.ContentItem(0));
    EXPECT_EQ(events, 1);
    EXPECT_EQ(FRoot.GoToContent(FRoot.ContentCount()), FRoot.ContentItem(0));  // out of range: unchanged
    EXPECT_EQ(FRoot.LastContent(), FRoot.ContentItem(1));
    EXPECT_TRUE(FRoot.IsLastContent());
    EXPECT_EQ(events, 2);
}

TEST_F(ExpansionTest, CommandsReachTheMainThreadInListOrder) {
    test::MakeImage(Path("a.png"));
    WriteFile(Path("list.paxid"), "-lock save\r\na.png\r\n-next\r\n");
    AddSource(FRoot, Path("list.paxid"));
    std::vector<std::string> commands;
    FRoot.OnCommand = [&](const std::string& command) {
        EXPECT_TRUE(FMainThread.IsMainThread());
        commands.push_back(command);
    };
    int newPages = 0;
    FRoot.OnNewContent = [&](TPageListObj*) {
        EXPECT_TRUE(FMainThread.IsMainThread());
        ++newPages;
    };
    bool done = false;
    FRoot.OnExpandDone = [&done] { done = true; };
    LoadAll(FRoot, FMainThread);
    EXPECT_EQ(commands, (std::vector<std::string>{"-lock save", "-next"}));
    EXPECT_EQ(newPages, 1);
    EXPECT_TRUE(done);
}

TEST_F(ExpansionTest, ASecondStartWithoutStopLoadsNothing) {
    test::MakeImage(Path("a.png"));
    AddSource(FRoot, Path("a.png"));
    FRoot.StartAllLevelsExpandThread();
    FMainThread.WaitUntil([this] { return FRoot.FPageRootThread->Finished(); });
    EXPECT_FALSE(FRoot.IsLoading());
    AddSource(FRoot, Path("a.png"));
    FRoot.StartAllLevelsExpandThread();
    EXPECT_NE(LogLines().back().find("  FPageRootThread = nil (no files will be loaded)!"), std::string::npos);
    EXPECT_EQ(FRoot.ContentCount(), 1);
    EXPECT_TRUE(FRoot.StopAllLevelsExpandThread());
    LoadAll(FRoot, FMainThread);
    EXPECT_EQ(FRoot.ContentCount(), 2);
}

TEST_F(ExpansionTest, StopWithoutALoaderChangesNothing) {
    EXPECT_TRUE(FRoot.StopAllLevelsExpandThread());
    EXPECT_FALSE(FRoot.FStop);
    EXPECT_TRUE(FRoot.FEventsOff);
}

TEST_F(ExpansionTest, ClearEmptiesTheDocumentAndItsTemporaryFiles) {
    test::MakeImage(Path("a.png"));
    AddSource(FRoot, Path("a.png"));
    LoadAll(FRoot, FMainThread);
    const std::string temp = GetTempDir();
    WriteFile(temp + "pxdtmp1.tif", "x");
    WriteFile(temp + "_PaxidList.Paxid", "x");
    WriteFile(temp + "keep.txt", "x");
    EXPECT_TRUE(FRoot.Clear());
    EXPECT_EQ(FRoot.NodeCount(), 0);
    EXPECT_EQ(FRoot.ContentCount(), 0);
    EXPECT_EQ(FRoot.CurrentContentIndex.load(), -1);
    EXPECT_FALSE(std::filesystem::exists(temp + "pxdtmp1.tif"));
    EXPECT_FALSE(std::filesystem::exists(temp + "_PaxidList.Paxid"));
    EXPECT_TRUE(std::filesystem::exists(temp + "keep.txt"));
    EXPECT_TRUE(std::filesystem::exists(Path("a.png")));
}

TEST_F(ExpansionTest, ClearLeavesAnotherLiveViewersFiles) {
    const std::string temp = GetTempDir();
    WriteFile(temp + "pxdtmp11.tif", "mine");
    WriteFile(temp + "pxdtmp22.tif", "theirs");
    AddSource(FRoot, temp + "pxdtmp11.tif");
    LoadAll(FRoot, FMainThread);
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        ::close(release[1]);
        TInstanceLock lock;
        (void)!::write(ready[1], "1", 1);
        char byte;
        (void)!::read(release[0], &byte, 1);
        ::_exit(0);
    }
    ::close(release[0]);
    ::close(ready[1]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_TRUE(FRoot.Clear());
    EXPECT_FALSE(std::filesystem::exists(temp + "pxdtmp11.tif"));
    EXPECT_TRUE(std::filesystem::exists(temp + "pxdtmp22.tif"));
    ::close(release[1]);
    ::waitpid(other, nullptr, 0);
    EXPECT_TRUE(FRoot.Clear());
    EXPECT_FALSE(std::filesystem::exists(temp + "pxdtmp22.tif"));
}

}  // namespace
}  // namespace paxid

namespace paxid {
namespace {

class ContainerExpansionTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return FFolder / name; }

    test::TScratchFolder FFolder;
    test::TScopedEnv FTemp{"PAXID_TEMP_DIR", FFolder / "tmp"};
    test::TScopedEnv FCerts{"PAXID_CERT_DIR", FFolder / "certs"};
    TQueueMainThread FMainThread;
    TPageRoot FRoot{FMainThread};
};

TEST_F(ContainerExpansionTest, CabinetsMadeByZipOpenAsTheirListsPages) {
    std::filesystem::create_directory(Path("in"));
    test::MakeImage(Path("in/pxdtmp1.tif"), 3);
    test::MakeImage(Path("in/pxdtmp2.png"));
    WriteFile(Path("in/_PaxidList.Paxid"), "pxdtmp1.tif;3\r\npxdtmp2.png;1\r\npxdtmp1.tif;1\r\n");
    ASSERT_EQ(test::RunCommand("cd '" + Path("in") + "' && zip -q -0 ../doc.paxidcab pxdtmp1.tif pxdtmp2.png "
                               "_PaxidList.Paxid"),
              0);
    AddSource(FRoot, Path("doc.paxidcab"));
    AddSource(FRoot, Path("doc.paxidcab"));  // a second cabinet never replaces the first one's list
    LoadAll(FRoot, FMainThread);
    ASSERT_EQ(FRoot.ContentCount(), 6);
    const std::vector<int> pageNumbers{3, 1, 1, 3, 1, 1};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(FRoot.ContentItem(i)->PageNo, pageNumbers[static_cast<std::size_t>(i)]);
        EXPECT_EQ(FRoot.ContentItem(i)->DLType, dltImage);
    }
    EXPECT_NE(FRoot.ContentItem(0)->FileName, FRoot.ContentItem(3)->FileName);
    const std::string extracted = FRoot.ContentItem(0)->FileName;
    EXPECT_EQ(extracted.rfind(GetTempDir(), 0), 0u) << extracted;
    EXPECT_TRUE(FRoot.Clear());
    EXPECT_FALSE(std::filesystem::exists(extracted));
}

TEST_F(ContainerExpansionTest, AnUndecryptablePackageCarriesItsErrorToItsPage) {
    WriteFile(Path("report.pdf.datacrypt"), std::string(kPackageSignature) + std::string(64, '\x01'));
    AddSource(FRoot, Path("report.pdf.datacrypt"));
    LoadAll(FRoot, FMainThread);
    ASSERT_EQ(FRoot.ContentCount(), 1);
    const TPageListObj& page = *FRoot.ContentItem(0);
    EXPECT_EQ(page.URLName, GetTempDir() + "report.pdf");
    EXPECT_NE(page.ErrorCode, 0);
    EXPECT_FALSE(page.ErrorText.empty());
    EXPECT_EQ(page.Parent->Parent->DLType, dltDataCrypt);
}

TEST_F(ContainerExpansionTest, IndexDataWithoutARecordIsAPageOfItsOwn) {
    WriteFile(Path("index.dat"), "\"I02R\";doc;1;1\r\n");
    AddSource(FRoot, Path("index.dat"));
    LoadAll(FRoot, FMainThread);
    ASSERT_EQ(FRoot.ContentCount(), 1);
    EXPECT_EQ(FRoot.ContentItem(0)->DLType, dltIndexDat);
    EXPECT_EQ(FRoot.ContentItem(0)->ContentType, "application/indexdat");
}

}  // namespace
}  // namespace paxid

namespace paxid {
namespace {

std::string Base64(const std::string& data) {
    static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const unsigned a = static_cast<unsigned char>(data[i]);
        const unsigned b = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
        const unsigned c = i + 2 < data.size() ? static_cast<unsigned char>(data[i + 2]) : 0;
        const unsigned triple = (a << 16) | (b << 8) | c;
        out += kAlphabet[(triple >> 18) & 63];
        out += kAlphabet[(triple >> 12) & 63];
        out += i + 1 < data.size() ? kAlphabet[(triple >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kAlphabet[triple & 63] : '=';
    }
    return out;
}

TEST_F(ContainerExpansionTest, EDocumentsYieldTheirContentsAndPlainXmlIsOnePage) {
    WriteFile(Path("invoice.xml"), "<?xml version=\"1.0\"?>\n<BKeDoc xmlns=\"" + std::string(kEDocumentNamespace) +
                                       "\"><Glava><Naslov>Invoice</Naslov></Glava><Vsebina><Vizualizacija>"
                                       "<Content MimeType=\"text/plain\">" + Base64("invoice text") +
                                       "</Content></Vizualizacija></Vsebina></BKeDoc>\n");
    WriteFile(Path("plain.xml"), "<?xml version=\"1.0\"?><notes><note>hello</note></notes>\n");
    AddSource(FRoot, Path("invoice.xml"));
    AddSource(FRoot, Path("plain.xml"));
    LoadAll(FRoot, FMainThread);
    ASSERT_GE(FRoot.ContentCount(), 2);
    const TPageListObj& text = *FRoot.ContentItem(0);
    EXPECT_EQ(text.DLType, dltFileText);
    EXPECT_EQ(test::ReadFile(text.LocalFileName()), "invoice text");
    const TPageListObj& plain = *FRoot.ContentItem(FRoot.ContentCount() - 1);
    EXPECT_EQ(plain.DLType, dltFileXml);
    EXPECT_EQ(plain.URLName, Path("plain.xml"));
}

}  // namespace
}  // namespace paxid
