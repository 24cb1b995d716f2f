// paxid: the viewer's document engine from the command line.
//
//   paxid pages [--json] [--thumbs DIR] [--thumb-size WxH] [--log] [--quiet] [--] SOURCE...
//   paxid tree [options] [--] SOURCE...
//
// Options come first; "--" ends them, and so does the first argument that is
// not an option. Exit status: 0 when every page loaded, 3 when a page is
// missing, 1 for a usage error, 2 when the program itself failed.
#include "cli/PaxidJob.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        return paxid::RunPaxid(argc, argv, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "paxid: " << error.what() << "\n";
        return 2;
    }
}
