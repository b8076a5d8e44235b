// What the component adds around the decoder on each Read, with no port to ask: the
// per-call cost the host pays before any platform read.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "driver/lc1_driver.h"

namespace lamdex {
namespace {

void BM_ComponentReadWithLinkClosed(benchmark::State& state) {
    static LC1Driver driver;  // like the plug-in's: one, for the whole run
    std::int32_t value = 0;
    std::uint32_t transferred = 0;
    zb::TransferRecord record{zb::kTransferRecordSize, &value, sizeof value, &transferred, 0};
    for (auto _ : state) {
        const zb::HResult result = driver.Read(&record);
        if (result != zb::kNotReady) state.SkipWithError("unexpected result");
        benchmark::DoNotOptimize(transferred);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComponentReadWithLinkClosed);

}  // namespace
}  // namespace lamdex
