// paxid-tree LIST: reads a collection list, makes one node per source and one
// page per source file, and prints the diagnostic dump of the page tree.
// A small stand-in for the expansion until the downloader drives it.
#include "document/pPageDump.h"
#include "document/pPageRoot.h"
#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/posix/FileDescriptor.h"

#include <iostream>
#include <sstream>

namespace {

using namespace paxid;

constexpr std::size_t kMaxListSize = 16 << 20;

TDLType TypeOf(const std::string& contentType) {
    if (contentType.rfind("image/", 0) == 0) {
        return dltImage;
    }
    if (SameContentType(contentType, "text/plain")) {
        return dltFileText;
    }
    if (SameContentType(contentType, "text/html") || SameContentType(contentType, "application/pdf")) {
        return dltFileWeb;
    }
    if (SameContentType(contentType, "text/xml")) {
        return dltFileXml;
    }
    return dltFileOther;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

void AddSource(TPageListObj& list, const std::string& entry) {
    TPageListObj& source = *list.AddChild();
    source.URLName = entry;
    const std::string path = entry.front() == '/' ? entry : list.Folder + entry;
    source.Completed = true;
    if (!FileExists(path)) {
        source.DLType = dltMissing;
    } else {
        source.FileName = path;
        source.Folder = ExtractFilePath(path);
        source.ContentType = DetectContentType(path);
        source.DLType = TypeOf(source.ContentType);
    }
    TPageListObj& page = *source.AddChild();
    page.URLName = source.URLName;
    page.FileName = source.FileName;
    page.ContentType = source.ContentType;
    page.DLType = source.DLType;
    page.Completed = true;
    page.SetIsContent(true);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: paxid-tree LIST.paxid\n";
        return 2;
    }
    const std::string listFile = ResolveShellPath(argv[1]);
    std::string contents;
    if (listFile.empty() || !ReadWholeFile(listFile, kMaxListSize, contents)) {
        std::cerr << "paxid-tree: cannot read " << argv[1] << "\n";
        return 3;
    }
    WriteLog(nullptr, std::string(81, '*'));
    TPageRoot root;
    TPageListObj& list = *root.AddChild();
    list.URLName = argv[1];
    list.FileName = listFile;
    list.Folder = ExtractFilePath(listFile);
    list.ContentType = DetectContentType(listFile);
    list.DLType = dltCollection;
    list.Completed = true;

    std::istringstream lines(contents);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string entry = Trim(line);
        if (!entry.empty()) {
            AddSource(list, entry);
        }
    }
    for (int i = 0; i < root.NodeCount(); ++i) {
        if (root.Nodes(i)->IsContent()) {
            root.FContentList.LockList().Add(root.Nodes(i));
        }
    }
    for (const std::string& text : DebugList(root, "paxid-tree")) {
        std::cout << text << "\n";
    }
    return 0;
}
