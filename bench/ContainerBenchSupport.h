#pragma once

// Helpers of the benchmarks: scratch folders, generated data and
// wall-clock timing of our code against the reference tools in the same run.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

namespace paxid::bench {

// A folder for one benchmark run, removed with everything in it afterwards.
class TBenchFolder {
public:
    TBenchFolder() {
        const char* base = std::getenv("PAXID_BENCH_DIR");
        std::string pattern = std::string(base != nullptr ? base : "/var/tmp") + "/paxid-bench-XXXXXX";
        if (const char* made = ::mkdtemp(pattern.data())) {
            FPath = made;
        }
    }
    ~TBenchFolder() {
        std::error_code ignored;
        if (!FPath.empty()) {
            std::filesystem::remove_all(FPath, ignored);
        }
    }
    TBenchFolder(const TBenchFolder&) = delete;
    TBenchFolder& operator=(const TBenchFolder&) = delete;
    std::string operator/(const std::string& name) const { return FPath + "/" + name; }
    // Empty when the folder could not be made.
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

// Seconds of wall-clock time the call takes.
inline double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string Quoted(const std::string& text) {
    std::string result = "'";
    for (const char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

// Incompressible bytes (xorshift), as the pixel data of compressed images is.
inline void AppendRandom(std::ofstream& out, std::uint64_t bytes, std::uint64_t seed) {
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    while (bytes > 0) {
        for (std::uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const std::uint64_t size = std::min<std::uint64_t>(bytes, block.size() * sizeof(std::uint64_t));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(size));
        bytes -= size;
    }
}

// Peak resident memory of this process so far, in KiB.
inline long PeakResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The size of the run in MiB: the first argument, else 1024.
inline std::uint64_t SizeMiB(int argc, char** argv) {
    return argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
}

}  // namespace paxid::bench
