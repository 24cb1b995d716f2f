#include "document/pPageDump.h"
#include "document/pPageRoot.h"
#include "platform/thread/MainThread.h"

#include "foundation/pLog.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

// A page below source, placed in the content list where the tree order puts it.
TPageListObj& AddPageBelow(TPageRoot& root, TPageListObj& source, TDLType type) {
    TPageListObj& page = *source.AddChild();
    page.URLName = source.URLName;
    page.DLType = type;
    page.Completed = true;
    page.SetIsContent(true);
    root.FContentList.LockList().Insert(root.ContentIndexFor(&page), &page);
    return page;
}

TEST(PageRoot, PagesTakeTheirDocumentPositionWhateverTheOrderTheyArriveIn) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    TPageListObj& a = *root.AddChild();
    TPageListObj& b = *root.AddChild();
    a.URLName = "a";
    b.URLName = "b";
    TPageListObj& b1 = AddPageBelow(root, b, dltImage);
    TPageListObj& a1 = AddPageBelow(root, a, dltFileText);
    TPageListObj& b2 = AddPageBelow(root, b, dltImage);
    TPageListObj& a2 = AddPageBelow(root, a, dltImage);
    EXPECT_EQ(root.ContentCount(), 4);
    EXPECT_EQ(root.ContentItem(0), &a1);
    EXPECT_EQ(root.ContentItem(1), &a2);
    EXPECT_EQ(root.ContentItem(2), &b1);
    EXPECT_EQ(root.ContentItem(3), &b2);
    EXPECT_EQ(root.ContentItem(4), nullptr);
    EXPECT_EQ(root.ContentItem(-1), nullptr);
    EXPECT_EQ(root.IndexOfContent(&b1), 2);
    EXPECT_EQ(root.IndexOfContent(&a), -1);
    EXPECT_EQ(root.IndexOfContent(nullptr), -1);
    EXPECT_EQ(root.ImageContentCount(), 3);
    EXPECT_EQ(root.ContentIndexFor(&b), 2);
    EXPECT_EQ(root.ContentIndexFor(nullptr), 4);
}

TEST(PageRoot, RemovedPagesStayInTheTree) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    TPageListObj& source = *root.AddChild();
    TPageListObj& first = AddPageBelow(root, source, dltImage);
    TPageListObj& second = AddPageBelow(root, source, dltImage);
    root.RemoveContent(&first);
    root.RemoveContent(&first);
    EXPECT_EQ(root.ContentCount(), 1);
    EXPECT_EQ(root.ContentItem(0), &second);
    EXPECT_EQ(root.NodeCount(), 3);
    EXPECT_TRUE(first.IsContent());
    // Still counted by its tree position, as a deleted page keeps IsContent.
    EXPECT_EQ(root.ContentIndexFor(&second), 1);
}

TEST(PageRoot, CountsCompletedNodes) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    root.AddChild()->Completed = true;
    root.AddChild();
    root.AddChild()->Completed = true;
    EXPECT_EQ(root.NodeCount(), 3);
    EXPECT_EQ(root.CompletedCount(), 2);
    EXPECT_EQ(root.CurrentContentIndex.load(), -1);
}

TEST(PageRootDump, EmptyDocument) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    EXPECT_EQ(DebugList(root, "TPaxidVW3"),
              (std::vector<std::string>{"PageList tree:", "", "", "", "ContentList:"}));
    EXPECT_NE(LogLines().back().find(" - TPaxidVW3 - DebugList"), std::string::npos);
}

TEST(PageRootDump, ListsTreeThenPagesWithIndentByLevel) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    TPageListObj& source = *root.AddChild();
    source.URLName = "scan.tif";
    source.FileName = "/nonexistent/scan.tif";
    source.ContentType = "image/tiff";
    source.DLType = dltImage;
    source.Folder = "/nonexistent/";
    TPageListObj& page = AddPageBelow(root, source, dltImage);
    page.PageNo = 2;
    page.FileName = source.FileName;
    page.ContentType = "image/tiff";
    const std::vector<std::string> expected{
        "PageList tree:",
        "------1",
        "  scan.tif",
        "    PageNo: 0",
        "    ContentType: image/tiff",
        "    FileName: /nonexistent/scan.tif",
        "    CacheName: ",
        "    LocalFileName: ",
        "    DLType: dltImage",
        "    IsContent: False",
        "    Folder: /nonexistent/",
        "------2",
        "    scan.tif",
        "      PageNo: 2",
        "      ContentType: image/tiff",
        "      FileName: /nonexistent/scan.tif",
        "      CacheName: ",
        "      LocalFileName: ",
        "      DLType: dltImage",
        "      IsContent: True",
        "      Folder: ",
        "",
        "",
        "",
        "ContentList:",
        "------2",
        "    scan.tif",
        "      ThumbNo: 0",
        "      PageNo: 2",
        "      ContentType: image/tiff",
        "      FileName: /nonexistent/scan.tif",
        "      CacheName: ",
        "      LocalFileName: ",
        "      DLType: dltImage",
        "      IsContent: True",
        "      Folder: ",
    };
    EXPECT_EQ(DebugList(root, "TPaxidVW3"), expected);
}

}  // namespace
}  // namespace paxid
