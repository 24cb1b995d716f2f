#include "platform/random/RandomSource.h"

#include <chrono>
#include <mutex>
#include <random>

namespace paxid {

namespace {

struct TSeededEngine {
    std::mutex Lock;
    std::mt19937 Engine;

    TSeededEngine() {
        std::random_device device;
        const auto clock = static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count());
        std::seed_seq seed{device(), device(), static_cast<std::uint32_t>(clock),
                           static_cast<std::uint32_t>(clock >> 32)};
        Engine.seed(seed);
    }
};

TSeededEngine& Engine() {
    static TSeededEngine engine;
    return engine;
}

}  // namespace

std::uint32_t TRandomSource::Below(std::uint32_t bound) {
    if (bound == 0) {
        return 0;
    }
    TSeededEngine& engine = Engine();
    std::lock_guard guard(engine.Lock);
    return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(engine.Engine);
}

}  // namespace paxid
