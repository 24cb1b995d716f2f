// A process that logs: log_probe MODE COUNT MARKER.
// MODE "write" logs COUNT lines "MARKER i"; "paced" does so with a short
// pause after each line, as a viewer logs; "end" also ends the in-memory
// list halfway. Prints what the log state looks like afterwards.
#include "foundation/pLog.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    const std::string mode = argv[1];
    const int count = std::atoi(argv[2]);
    const std::string marker = argv[3];
    for (int i = 0; i < count; ++i) {
        if (mode == "end" && i == count / 2) {
            paxid::EndLogLines();
        }
        paxid::WriteLog("TLogProbe", marker + " " + std::to_string(i));
        if (mode == "paced") {
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    }
    std::printf("instance=%d debug=%d kept=%zu\n", paxid::InstanceNumber(), paxid::DebugEnabled() ? 1 : 0,
                paxid::LogLines().size());
    return 0;
}
