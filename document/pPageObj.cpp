#include "document/pPageObj.h"

#include "document/pPageRoot.h"
#include "foundation/pFileUtils.h"
#include "platform/imaging/Bitmap.h"

#include <array>
#include <filesystem>
#include <system_error>

namespace paxid {

std::string DLTypeName(TDLType type) {
    static constexpr std::array<const char*, 13> kNames{
        "dltUnknown", "dltMissing",    "dltFileOther",     "dltFileOLE",  "dltFileText",
        "dltFileWeb", "dltFileXml",    "dltImage",         "dltCollection", "dltCABCollection",
        "dltIndexDat", "dltUnknown",   "dltDataCrypt"};
    const auto index = static_cast<std::size_t>(type);
    return index < kNames.size() ? kNames[index] : "dltUnknown";
}

TPageObj::TPageObj(TPageListObj* parent) : Parent(parent) {}

TPageObj::~TPageObj() = default;

std::string TPageObj::LocalFileName() const {
    std::string file = FileName;
    if (!file.empty() && file.find('/') == std::string::npos) {
        std::error_code error;
        const std::filesystem::path current = std::filesystem::current_path(error);
        if (!error) {
            file = (current / file).string();
        }
    }
    const std::string* const candidates[] = {&file, &CacheName, &TempFile};
    for (const std::string* candidate : candidates) {
        if (FileExists(*candidate)) {
            return *candidate;
        }
    }
    return {};
}

TPageEnum::TPageEnum() = default;

TPageEnum::~TPageEnum() { Clear(); }

void TPageEnum::Add(std::unique_ptr<TPageListObj> node) { FItems.push_back(std::move(node)); }

void TPageEnum::Clear() {
    // Taken out first, so the list reads empty while its nodes are freed.
    std::vector<std::unique_ptr<TPageListObj>> items = std::move(FItems);
    FItems.clear();
    items.clear();
}

TPageListObj* TPageEnum::Items(int index) const {
    return (index < 0 || index >= Count()) ? nullptr : FItems[static_cast<std::size_t>(index)].get();
}

TPageListObj::TPageListObj(TPageListObj* parent) : TPageObj(parent) {
    FFlatLink.Item = this;
    FContentLink.Item = this;
}

TPageListObj::~TPageListObj() {
    PageEnum.Clear();
    for (TPageListObj* ancestor = Parent; ancestor != nullptr; ancestor = ancestor->Parent) {
        --ancestor->FDescendantCount;
    }
    if (Root != nullptr && Root != this) {
        Root->Forget(*this);
    }
}

TPageListObj* TPageListObj::AddChild() {
    auto owned = std::make_unique<TPageListObj>(this);
    TPageListObj* child = owned.get();
    child->Level = Level + 1;
    child->Root = Root;
    child->ErrorCode = ErrorCode;
    child->ErrorText = ErrorText;
    PageEnum.Add(std::move(owned));
    for (TPageListObj* ancestor = this; ancestor != nullptr; ancestor = ancestor->Parent) {
        ++ancestor->FDescendantCount;
    }
    if (Root != nullptr) {
        Root->PlaceInFlatList(*child);
    }
    return child;
}

void TPageListObj::SetIsContent(bool isContent) {
    FIsContent = isContent;
    if (Root != nullptr) {
        Root->MarkContent(*this, isContent);
    } else {
        FFlatLink.Marked = isContent;
    }
}

}  // namespace paxid
