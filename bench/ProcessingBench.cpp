// Speed of the processing operations against ImageMagick in the same run, on
// one 24-bit A4 page at 200 dpi (1654 x 2339, a colour gradient under text):
//   median   MedianFilter(3)        vs convert -median 3
//   sharpen  Sharpen(500)           vs convert -sharpen 0x1
//   gamma    CorrectGamma(150)      vs convert -gamma 1.5
// Both sides read the page from a BMP file and write the result as BMP;
// the operation alone is printed too (ImageMagick's as its time less a
// plain read and write). Runs alternate; the fastest counts.
// Usage: processing_bench [RUNS] (default 3).

#include "ContainerBenchSupport.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"
#include "platform/imaging/processing/ImageProcessing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) { return std::chrono::duration<double>(TClock::now() - start).count(); }

struct TCase {
    const char* Name;
    std::function<bool(paxid::TBitmap&)> Ours;
    const char* ImageMagick;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace paxid;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const bench::TBenchFolder scratch;  // removed on every way out
    if (scratch.Path().empty()) {
        return 2;
    }
    const std::string& folder = scratch.Path();
    const std::string page = folder + "/page.bmp";
    const std::string render = "/usr/bin/convert -size 1654x2339 gradient:orange-navy -fill white "
                               "-font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -pointsize 40 "
                               "-annotate +100+400 'Processing benchmark page' -type TrueColor '" + page + "'";
    if (std::system(render.c_str()) != 0) {
        std::fprintf(stderr, "processing_bench: cannot render the page\n");
        return 2;
    }
    const TCase cases[] = {
        {"median 3x3", [](TBitmap& b) { return MedianFilter(b, 3); }, "-median 3"},
        {"sharpen", [](TBitmap& b) { return Sharpen(b, 500); }, "-sharpen 0x1"},
        {"gamma 1.5", [](TBitmap& b) { return CorrectGamma(b, 150); }, "-gamma 1.5"},
    };
    const std::string output = folder + "/out.bmp";
    // What reading and writing alone cost each side, so that the operations
    // can be told apart from the file handling.
    double ourCopy = 1e9;
    double theirCopy = 1e9;
    for (int run = 0; run < runs; ++run) {
        auto start = TClock::now();
        TBitmap bitmap;
        if (LoadPage(page, 1, bitmap) != kImagingSuccess ||
            SaveBitmap(output, bitmap, kFormatBmp, 24, 2, 0) != kImagingSuccess) {
            return 2;
        }
        ourCopy = std::min(ourCopy, SecondsSince(start));
        start = TClock::now();
        if (std::system(("/usr/bin/convert '" + page + "' '" + folder + "/im.bmp'").c_str()) != 0) {
            return 2;
        }
        theirCopy = std::min(theirCopy, SecondsSince(start));
    }
    std::printf("read+write  paxid %.3f s, convert %.3f s\n", ourCopy, theirCopy);
    for (const TCase& c : cases) {
        double ours = 1e9;
        double operationOnly = 1e9;
        double theirs = 1e9;
        const std::string command = std::string("/usr/bin/convert '") + page + "' " + c.ImageMagick + " '" +
                                    folder + "/im.bmp'";
        for (int run = 0; run < runs; ++run) {
            auto start = TClock::now();
            TBitmap bitmap;
            if (LoadPage(page, 1, bitmap) != kImagingSuccess) {
                return 2;
            }
            const auto operationStart = TClock::now();
            if (!c.Ours(bitmap)) {
                std::fprintf(stderr, "processing_bench: %s failed\n", c.Name);
                return 2;
            }
            operationOnly = std::min(operationOnly, SecondsSince(operationStart));
            if (SaveBitmap(output, bitmap, kFormatBmp, 24, 2, 0) != kImagingSuccess) {
                return 2;
            }
            ours = std::min(ours, SecondsSince(start));
            start = TClock::now();
            if (std::system(command.c_str()) != 0) {
                return 2;
            }
            theirs = std::min(theirs, SecondsSince(start));
        }
        const double theirOperation = std::max(theirs - theirCopy, 1e-3);
        std::printf("%-11s paxid %.3f s (operation %.3f s), convert %s %.3f s (operation %.3f s), ratio %.2f, "
                    "operations alone %.2f\n",
                    c.Name, ours, operationOnly, c.ImageMagick, theirs, theirOperation, ours / theirs,
                    operationOnly / theirOperation);
    }
    return 0;
}
