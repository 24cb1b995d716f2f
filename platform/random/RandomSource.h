#pragma once

#include <cstdint>

namespace paxid {

// The one random source of the process: seeded once, on first use, from the
// clock and the system's entropy. Safe to call from any thread.
class TRandomSource {
public:
    // A uniformly drawn integer in 0..bound-1; 0 when bound is 0.
    static std::uint32_t Below(std::uint32_t bound);
};

}  // namespace paxid
