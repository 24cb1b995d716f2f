// Speed of whole-page recognition against the tesseract command on the same
// image in the same run: one A4 page at 300 dpi of DejaVu Sans text rendered
// by ImageMagick. Ours: load the page and OCR it with automatic
// segmentation (engine start-up included). Reference: `tesseract page.png
// stdout` with OMP_THREAD_LIMIT=1, process start-up included. Runs alternate;
// the fastest of each counts.
// Usage: ocr_bench [RUNS] (default 3).

#include "ContainerBenchSupport.h"
#include "document/pAnnotations.h"
#include "document/pZones.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace paxid {
namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) { return std::chrono::duration<double>(TClock::now() - start).count(); }

// Paragraph lines of ordinary words, 11 points at 300 dpi, down an A4 page.
bool RenderPage(const std::string& path) {
    std::string command =
        "/usr/bin/convert -size 2480x3508 -units PixelsPerInch -density 300 xc:white -fill black "
        "-font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -pointsize 11";
    const char* lines[] = {"The quick brown fox jumps over the lazy dog near the river bank today.",
                           "Scanned documents arrive from many sources and pages of every kind.",
                           "A viewer shows each page with zoom, rotation and recognised text."};
    for (int line = 0; line < 60; ++line) {
        command += " -annotate +200+" + std::to_string(250 + line * 52) + " '" + lines[line % 3] + "'";
    }
    command += " -type Grayscale '" + path + "'";
    return std::system(command.c_str()) == 0;
}

}  // namespace
}  // namespace paxid

int main(int argc, char** argv) {
    using namespace paxid;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const bench::TBenchFolder scratch;  // removed on every way out
    if (scratch.Path().empty()) {
        return 2;
    }
    const std::string& folder = scratch.Path();
    const std::string page = folder + "/page.png";
    if (!RenderPage(page)) {
        std::fprintf(stderr, "ocr_bench: cannot render the page\n");
        return 2;
    }
    const std::string reference = "OMP_THREAD_LIMIT=1 tesseract '" + page + "' stdout >/dev/null 2>&1";
    double ours = 1e9;
    double theirs = 1e9;
    std::size_t characters = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = TClock::now();
        TBitmap bitmap;
        if (LoadPage(page, 1, bitmap) != kImagingSuccess) {
            return 2;
        }
        TAnnContainer annotations;
        TZones zones(bitmap, annotations, "eng");
        characters = zones.OCR(0, 0, bitmap.Width(), bitmap.Height(), true).size();
        ours = std::min(ours, SecondsSince(start));
        start = TClock::now();
        if (std::system(reference.c_str()) != 0) {
            std::fprintf(stderr, "ocr_bench: tesseract failed\n");
            return 2;
        }
        theirs = std::min(theirs, SecondsSince(start));
    }
    std::printf("ocr A4 300 dpi: paxid %.3f s (%zu characters), tesseract OMP_THREAD_LIMIT=1 %.3f s, ratio %.2f\n",
                ours, characters, theirs, ours / theirs);
    return 0;
}
