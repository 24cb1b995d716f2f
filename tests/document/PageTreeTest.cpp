#include "document/pPageObj.h"
#include "document/pPageRoot.h"
#include "platform/thread/MainThread.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace paxid {
namespace {

std::vector<std::string> FlatNames(const TPageRoot& root) {
    std::vector<std::string> names;
    for (int i = 0; i < root.NodeCount(); ++i) {
        names.push_back(root.Nodes(i)->URLName);
    }
    return names;
}

TPageListObj& Child(TPageListObj& parent, const std::string& name) {
    TPageListObj& child = *parent.AddChild();
    child.URLName = name;
    return child;
}

TEST(PageTree, NewNodesStartWithTheirInitialValues) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    EXPECT_EQ(root.Root, &root);
    EXPECT_EQ(root.Parent, nullptr);
    EXPECT_EQ(root.Level, 0);
    TPageListObj& node = *root.AddChild();
    EXPECT_EQ(node.Parent, &root);
    EXPECT_EQ(node.Root, &root);
    EXPECT_EQ(node.Level, 1);
    EXPECT_EQ(node.PageNo, 0);
    EXPECT_EQ(node.DLType, dltUnknown);
    EXPECT_FALSE(node.Completed);
    EXPECT_FALSE(node.IsContent());
    EXPECT_TRUE(node.ExpandXml);
    EXPECT_FALSE(node.XmlExpanded);
    EXPECT_EQ(node.Thumbnail, nullptr);
    EXPECT_EQ(node.ClassName(), "TPageListObj");
    EXPECT_EQ(root.ClassName(), "TPageRoot");
}

TEST(PageTree, ChildrenInheritTheErrorOfTheirParent) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    TPageListObj& failed = *root.AddChild();
    failed.ErrorCode = -2146885628;
    failed.ErrorText = "CannotFindCertificate";
    TPageListObj& child = *failed.AddChild();
    TPageListObj& grandChild = *child.AddChild();
    EXPECT_EQ(grandChild.ErrorCode, -2146885628);
    EXPECT_EQ(grandChild.ErrorText, "CannotFindCertificate");
    EXPECT_EQ(grandChild.Level, 3);
}

TEST(PageTree, ChildrenLandAfterTheirParentsWholeSubtree) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    TPageListObj& list = Child(root, "list");
    TPageListObj& first = Child(list, "first");
    Child(first, "first.page1");
    Child(first, "first.page2");
    Child(list, "second");
    Child(root, "other");
    Child(first, "first.page3");
    Child(list, "third");
    EXPECT_EQ(FlatNames(root), (std::vector<std::string>{"list", "first", "first.page1", "first.page2",
                                                         "first.page3", "second", "third", "other"}));
    EXPECT_EQ(list.DescendantCount(), 6);
    EXPECT_EQ(first.DescendantCount(), 3);
    EXPECT_EQ(root.DescendantCount(), 8);
    EXPECT_EQ(list.PageEnum.Count(), 3);
    EXPECT_EQ(list.PageEnum.Items(1)->URLName, "second");
    EXPECT_EQ(list.PageEnum.Items(-1), nullptr);
    EXPECT_EQ(list.PageEnum.Items(3), nullptr);
    EXPECT_EQ(root.Nodes(-1), nullptr);
    EXPECT_EQ(root.Nodes(8), nullptr);
}

TEST(PageTree, FreeingASubtreeTakesItOutOfBothLists) {
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    TPageListObj& keep = Child(root, "keep");
    TPageListObj& drop = Child(root, "drop");
    TPageListObj& page = Child(drop, "drop.page");
    page.SetIsContent(true);
    Child(root, "after").SetIsContent(true);
    root.FContentList.LockList().Add(&page);
    Child(keep, "keep.page");
    drop.PageEnum.Clear();
    EXPECT_EQ(FlatNames(root), (std::vector<std::string>{"keep", "keep.page", "drop", "after"}));
    EXPECT_EQ(drop.DescendantCount(), 0);
    EXPECT_EQ(root.DescendantCount(), 4);
    EXPECT_EQ(root.ContentCount(), 0);
    EXPECT_EQ(root.ContentIndexFor(root.Nodes(3)), 0);
}

TEST(PageTree, LocalFileNameIsTheFirstExistingFile) {
    test::TScratchFolder folder;
    test::WriteFile(folder / "file.tif", "x");
    test::WriteFile(folder / "cache.tif", "x");
    test::WriteFile(folder / "temp.tmp", "x");
    const std::string missing = folder / "missing.tif";
    const struct {
        const char* Name;
        std::string FileName;
        std::string CacheName;
        std::string TempFile;
        std::string Expected;
    } cases[] = {
        {"file first", folder / "file.tif", folder / "cache.tif", folder / "temp.tmp", folder / "file.tif"},
        {"cache when file is missing", missing, folder / "cache.tif", folder / "temp.tmp", folder / "cache.tif"},
        {"temp last", missing, missing, folder / "temp.tmp", folder / "temp.tmp"},
        {"none exists", missing, "", missing, ""},
        {"folder is no file", folder.Path(), "", "", ""},
    };
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPageListObj& node = *root.AddChild();
        node.FileName = c.FileName;
        node.CacheName = c.CacheName;
        node.TempFile = c.TempFile;
        EXPECT_EQ(node.LocalFileName(), c.Expected);
    }
}

TEST(PageTree, BareFileNameResolvesAgainstTheCurrentFolder) {
    test::TScratchFolder folder;
    test::WriteFile(folder / "bare.tif", "x");
    const std::string previous = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir(folder.Path().c_str()), 0);
    TQueueMainThread mainThread;
    TPageRoot root(mainThread);
    TPageListObj& node = *root.AddChild();
    node.FileName = "bare.tif";
    const std::string resolved = node.LocalFileName();
    ASSERT_EQ(::chdir(previous.c_str()), 0);
    EXPECT_EQ(std::filesystem::canonical(resolved), std::filesystem::canonical(folder / "bare.tif"));
}

TEST(PageTree, TypeNames) {
    const struct {
        TDLType Type;
        const char* Name;
    } cases[] = {
        {dltUnknown, "dltUnknown"},   {dltMissing, "dltMissing"},     {dltFileOther, "dltFileOther"},
        {dltFileOLE, "dltFileOLE"},   {dltFileText, "dltFileText"},   {dltFileWeb, "dltFileWeb"},
        {dltFileXml, "dltFileXml"},   {dltImage, "dltImage"},         {dltCollection, "dltCollection"},
        {dltCABCollection, "dltCABCollection"}, {dltIndexDat, "dltIndexDat"}, {dltCommand, "dltUnknown"},
        {dltDataCrypt, "dltDataCrypt"}, {static_cast<TDLType>(13), "dltUnknown"},
        {static_cast<TDLType>(255), "dltUnknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(DLTypeName(c.Type), c.Name);
    }
}

}  // namespace
}  // namespace paxid
