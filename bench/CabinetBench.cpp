// Writing and reopening a cabinet of a large document against Info-ZIP on
// the same files: `zip -q` for ZipList, `unzip -q` for UnzipCabinet.
// Usage: cabinet_bench [MiB]   (default 1024; PAXID_BENCH_DIR picks the disk)

#include "ContainerBenchSupport.h"
#include "document/pCabinet.h"

#include <cstdio>
#include <cstdlib>

using namespace paxid;
using namespace paxid::bench;

namespace {

// A TIFF whose first page says JPEG compression, followed by incompressible data.
void WriteTiff(const std::string& path, std::uint64_t bytes, std::uint64_t seed) {
    std::ofstream out(path, std::ios::binary);
    const unsigned char header[] = {'I', 'I', 42, 0, 8, 0, 0, 0,   // header, first directory at 8
                                    1, 0,                          // one entry
                                    3, 1, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0,  // tag 259 SHORT 1 = 7 (JPEG)
                                    0, 0, 0, 0};                   // no next directory
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    AppendRandom(out, bytes - sizeof header, seed);
}

void WritePdf(const std::string& path, std::uint64_t bytes, std::uint64_t seed) {
    std::ofstream out(path, std::ios::binary);
    const std::string head = "%PDF-1.4\n1 0 obj << /Length " + std::to_string(bytes) + " >> stream\n";
    out << head;
    AppendRandom(out, bytes - head.size() - 32, seed);
    out << "\nendstream endobj\n%%EOF\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t totalMiB = SizeMiB(argc, argv);
    TBenchFolder folder;
    const std::string temp = folder / "temp";
    std::filesystem::create_directories(temp);
    ::setenv("PAXID_TEMP_DIR", temp.c_str(), 1);

    // Eight large files, half TIFF and half PDF.
    const int fileCount = 8;
    const std::uint64_t fileBytes = (totalMiB << 20) / fileCount;
    std::vector<TCabinetPage> pages;
    std::string fileList;
    for (int i = 0; i < fileCount; ++i) {
        const bool tiff = i % 2 == 0;
        const std::string path = folder / ("source" + std::to_string(i) + (tiff ? ".tif" : ".pdf"));
        tiff ? WriteTiff(path, fileBytes, i + 1) : WritePdf(path, fileBytes, i + 1);
        pages.push_back({path, tiff ? 1 : 0, tiff ? dltImage : dltFileWeb});
        fileList += " " + Quoted(path);
    }
    std::printf("cabinet_bench: %d files, %llu MiB in %s\n", fileCount, static_cast<unsigned long long>(totalMiB),
                folder.Path().c_str());

    const std::string zipOut = folder / "reference.zip";
    const double zipSeconds = Seconds([&] { Shell("zip -q -j " + Quoted(zipOut) + fileList); });
    std::filesystem::remove(zipOut);
    const double storeSeconds = Seconds([&] { Shell("zip -q -0 -j " + Quoted(zipOut) + fileList); });
    std::filesystem::remove(zipOut);
    const std::string cabinet = folder / "document.paxidcab";
    const double zipListSeconds = Seconds([&] { ZipList(cabinet, pages, 0, 0, {}); });
    std::printf("write:  zip -q %.2f s, ZipList %.2f s, ratio %.3f (target <= 1.2)\n", zipSeconds, zipListSeconds,
                zipListSeconds / zipSeconds);
    std::printf("        (store only: zip -q -0 %.2f s, ratio %.3f)\n", storeSeconds, zipListSeconds / storeSeconds);

    const std::string referenceFolder = folder / "unzipped";
    const std::string ownFolder = folder / "extracted";
    std::filesystem::create_directories(referenceFolder);
    std::filesystem::create_directories(ownFolder);
    const double unzipSeconds =
        Seconds([&] { Shell("unzip -q -o " + Quoted(cabinet) + " -d " + Quoted(referenceFolder)); });
    std::filesystem::remove_all(referenceFolder);
    const double unzipCabinetSeconds = Seconds([&] { UnzipCabinet(cabinet, ownFolder + "/"); });
    std::printf("reopen: unzip -q %.2f s, UnzipCabinet %.2f s, ratio %.3f (target <= 1.2)\n", unzipSeconds,
                unzipCabinetSeconds, unzipCabinetSeconds / unzipSeconds);
    return 0;
}
