#pragma once

#include "document/pRankedList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace paxid {

class TBitmap;
class TPageListObj;
class TPageRoot;

// The kind of a source, as the downloader decides it; drives the expansion
// and the choice of view.
enum TDLType : std::uint8_t {
    dltUnknown = 0,
    dltMissing = 1,
    dltFileOther = 2,
    dltFileOLE = 3,
    dltFileText = 4,
    dltFileWeb = 5,
    dltFileXml = 6,
    dltImage = 7,
    dltCollection = 8,
    dltCABCollection = 9,
    dltIndexDat = 10,
    dltCommand = 11,
    dltDataCrypt = 12,
};

// The name of a type as log lines and the tree dump write it; dltCommand and
// values outside the enumeration read "dltUnknown".
std::string DLTypeName(TDLType type);

// The fields of one node of the page tree: a source or a page.
class TPageObj {
public:
    explicit TPageObj(TPageListObj* parent);
    virtual ~TPageObj();
    TPageObj(const TPageObj&) = delete;
    TPageObj& operator=(const TPageObj&) = delete;

    virtual std::string_view ClassName() const { return "TPageObj"; }

    // The first existing file of FileName (a bare name taken in the current
    // folder), CacheName and TempFile; empty when none exists.
    std::string LocalFileName() const;

    bool IsContent() const { return FIsContent; }

    TPageListObj* Parent;       // owning node; nullptr for the page root
    std::string FileName;       // local file the fetch produced
    std::string CacheName;      // this page's own image file after a progressive download
    std::string TempFile;       // the downloader's temporary file when the node was filled
    std::string URLName;        // source name as given: path, URL or command
    std::int32_t PageNo = 0;    // 1-based page inside FileName; 0 = the whole file
    TDLType DLType = dltUnknown;
    std::string ContentType;    // MIME type of FileName as reported
    // Pages only. Never changed in place: identical pictures (the "not found"
    // box, a type's icon) are shared by all pages that show them.
    std::shared_ptr<const TBitmap> Thumbnail;
    std::int32_t Level = 0;     // 0 for the root, parent's Level + 1 below
    bool Completed = false;     // fetched and expanded
    std::int32_t ErrorCode = 0;
    std::string ErrorText;
    bool ExpandXml = true;      // an XML file of this node may be unpacked
    bool XmlExpanded = false;   // the last unpacking produced children
    std::string Folder;         // folder of FileName with '/': home of relative child names

protected:
    bool FIsContent = false;    // a page, listed in the content list
};

// The owning list of a node's children, in insertion order.
class TPageEnum {
public:
    TPageEnum();
    ~TPageEnum();
    TPageEnum(const TPageEnum&) = delete;
    TPageEnum& operator=(const TPageEnum&) = delete;

    void Add(std::unique_ptr<TPageListObj> node);
    // Frees every node, and with it its subtree.
    void Clear();
    int Count() const { return static_cast<int>(FItems.size()); }
    // nullptr when index is outside 0..Count-1.
    TPageListObj* Items(int index) const;

private:
    std::vector<std::unique_ptr<TPageListObj>> FItems;
};

// A node of the page tree. Owned by its parent's PageEnum, exactly once;
// the page root's depth-first list and content list only refer to it.
class TPageListObj : public TPageObj {
public:
    explicit TPageListObj(TPageListObj* parent);
    ~TPageListObj() override;

    std::string_view ClassName() const override { return "TPageListObj"; }

    // A new last child: one level deeper, in the same tree, with this node's
    // error carried over; placed in the depth-first list right after this
    // node's existing subtree.
    virtual TPageListObj* AddChild();

    // Children plus, recursively, their descendants.
    int DescendantCount() const { return FDescendantCount; }

    // Sets IsContent; the page root counts pages in its depth-first list by it.
    void SetIsContent(bool isContent);

    TPageEnum PageEnum;
    TPageRoot* Root = nullptr;  // the tree's page root; the root points to itself

private:
    friend class TPageRoot;
    friend class TContentList;

    int FDescendantCount = 0;
    TRankLink<TPageListObj> FFlatLink;     // hook of the page root's FlatList
    TRankLink<TPageListObj> FContentLink;  // hook of the page root's FContentList
};

}  // namespace paxid
