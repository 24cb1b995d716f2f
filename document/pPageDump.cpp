#include "document/pPageDump.h"

#include "document/pPageRoot.h"
#include "foundation/pLog.h"
#include "foundation/pURLUtils.h"

namespace paxid {

namespace {

void AppendValueLines(const TPageListObj& node, const std::string& indent, std::vector<std::string>& lines) {
    const std::string prefix = "  " + indent;
    lines.push_back(prefix + "PageNo: " + std::to_string(node.PageNo));
    lines.push_back(prefix + "ContentType: " + node.ContentType);
    lines.push_back(prefix + "FileName: " + node.FileName);
    lines.push_back(prefix + "CacheName: " + node.CacheName);
    lines.push_back(prefix + "LocalFileName: " + node.LocalFileName());
    lines.push_back(prefix + "DLType: " + DLTypeName(node.DLType));
    lines.push_back(prefix + "IsContent: " + (node.IsContent() ? "True" : "False"));
    lines.push_back(prefix + "Folder: " + node.Folder);
}

}  // namespace

std::vector<std::string> DebugList(TPageRoot& root, std::string_view senderClassName) {
    WriteLog(senderClassName, "DebugList");
    std::vector<std::string> lines{"PageList tree:"};
    for (int i = 0; i < root.NodeCount(); ++i) {
        const TPageListObj& node = *root.Nodes(i);
        const std::string indent(static_cast<std::size_t>(2 * node.Level), ' ');
        lines.push_back("------" + std::to_string(node.Level));
        lines.push_back(indent + node.URLName);
        AppendValueLines(node, indent, lines);
    }
    lines.insert(lines.end(), {"", "", "", "ContentList:"});
    const TContentList::TLocked content = root.FContentList.LockList();
    int index = 0;
    content.ForEach([&](const TPageListObj& page) {
        const std::string indent(static_cast<std::size_t>(2 * page.Level), ' ');
        lines.push_back("------" + std::to_string(page.Level));
        lines.push_back(indent + page.URLName);
        lines.push_back("  " + indent + "ThumbNo: " + std::to_string(index++));
        AppendValueLines(page, indent, lines);
    });
    // The dump is saved and mailed for diagnosis: no URL keeps its password.
    for (std::string& line : lines) {
        RedactURLCredentials(line);
    }
    return lines;
}

}  // namespace paxid
