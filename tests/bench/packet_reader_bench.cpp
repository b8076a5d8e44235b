// What one Read costs in the decoder alone, with the bytes already in memory. The serial
// link's one platform read per byte comes on top of this in the plug-in.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "driver/packet_reader.h"

namespace lamdex {
namespace {

// Serves a fixed array, up to a limit the benchmark moves; never allocates.
struct MemorySource {
    const std::uint8_t* bytes = nullptr;
    std::size_t limit = 0;
    std::size_t next = 0;

    static bool Next(void* context, std::uint8_t* byte) {
        auto* self = static_cast<MemorySource*>(context);
        if (self->next == self->limit) return false;
        *byte = self->bytes[self->next++];
        return true;
    }
    ByteSource Source() { return ByteSource{&MemorySource::Next, this}; }
};

const std::uint8_t kPacket[] = {0xB2, 0x82, 0x43, 0x13, 0x03, 0x74};

struct Call {
    std::int32_t value = 0;
    std::uint32_t transferred = 0;
    zb::TransferRecord record{zb::kTransferRecordSize, &value, sizeof value, &transferred, 0};
};

void ExpectResult(benchmark::State& state, zb::HResult actual, zb::HResult expected) {
    if (actual != expected) state.SkipWithError("unexpected result");
}

// The usual case: one whole 6-byte packet waiting, framed and converted.
void BM_ReadWholePacket(benchmark::State& state) {
    MemorySource source{kPacket, sizeof kPacket};
    PacketReader reader{source.Source()};
    Call call;
    for (auto _ : state) {
        source.next = 0;
        const zb::HResult result = reader.Read(&call.record);
        benchmark::DoNotOptimize(call.value);
        ExpectResult(state, result, zb::kOk);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadWholePacket);

// The host polling faster than the device sends: nothing waiting, one empty request.
void BM_ReadNothingWaiting(benchmark::State& state) {
    MemorySource source{kPacket, 0};
    PacketReader reader{source.Source()};
    Call call;
    for (auto _ : state) {
        ExpectResult(state, reader.Read(&call.record), zb::kNotReady);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadNothingWaiting);

// A packet that arrives in two halves: a not-ready call, then the delivering one.
void BM_ReadPacketSplitAcrossCalls(benchmark::State& state) {
    MemorySource source{kPacket, 0};
    PacketReader reader{source.Source()};
    Call call;
    for (auto _ : state) {
        source.next = 0;
        source.limit = 3;
        ExpectResult(state, reader.Read(&call.record), zb::kNotReady);
        source.limit = sizeof kPacket;
        ExpectResult(state, reader.Read(&call.record), zb::kOk);
        benchmark::DoNotOptimize(call.value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadPacketSplitAcrossCalls);

// One Read over waiting bytes, each time from an empty buffer.
void ReadBacklog(benchmark::State& state, const std::uint8_t* bytes, std::size_t size, zb::HResult expected) {
    MemorySource source{bytes, size};
    PacketReader reader{source.Source()};
    Call call;
    for (auto _ : state) {
        reader.ResetForClose();
        source.next = 0;
        ExpectResult(state, reader.Read(&call.record), expected);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// The longest chain: 255 words, 127 LC-1s behind one auxiliary word, the last one chosen, so
// that the call frames all 512 bytes and walks every word.
void BM_ReadLongestChainPacket(benchmark::State& state) {
    std::uint8_t chain[512] = {0xB3, 0xFF, 0x01, 0x23};
    for (std::size_t at = 4; at < sizeof chain; at += 4) std::memcpy(chain + at, kPacket + 2, 4);
    MemorySource source{chain, sizeof chain};
    PacketReader reader{source.Source()};
    reader.ChooseSensor(kMaxSensor);
    Call call;
    for (auto _ : state) {
        source.next = 0;
        ExpectResult(state, reader.Read(&call.record), zb::kOk);
        benchmark::DoNotOptimize(call.value);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sizeof chain));
}
BENCHMARK(BM_ReadLongestChainPacket);

// A full buffer of bytes without any header: 514 requests, one scan, one byte kept.
void BM_ReadGarbageBacklog(benchmark::State& state) {
    std::uint8_t garbage[PacketReader::kRxBufferSize];
    for (std::size_t i = 0; i < sizeof garbage; ++i) garbage[i] = static_cast<std::uint8_t>(i & 0x7F);
    ReadBacklog(state, garbage, sizeof garbage, zb::kNotReady);
}
BENCHMARK(BM_ReadGarbageBacklog);

// A full buffer of FF: every byte pair a header of 255 words, each shown false by the byte
// after it, and the last byte kept.
void BM_ReadFalseHeaderBacklog(benchmark::State& state) {
    std::uint8_t headers[PacketReader::kRxBufferSize];
    std::memset(headers, 0xFF, sizeof headers);
    ReadBacklog(state, headers, sizeof headers, zb::kNotReady);
}
BENCHMARK(BM_ReadFalseHeaderBacklog);

// A host that stalled: as many bytes of packets waiting as one call takes. The full buffer
// makes room from its oldest packets again and again; the call answers the second newest.
void BM_ReadStalledHostBacklog(benchmark::State& state) {
    std::uint8_t backlog[PacketReader::kMaxRequestsPerRead];
    for (std::size_t i = 0; i < sizeof backlog; ++i) backlog[i] = kPacket[i % sizeof kPacket];
    ReadBacklog(state, backlog, sizeof backlog, zb::kOk);
}
BENCHMARK(BM_ReadStalledHostBacklog);

void BM_ConvertToFixedAfr(benchmark::State& state) {
    std::uint16_t lambda = 0;
    for (auto _ : state) {
        lambda = static_cast<std::uint16_t>((lambda + 37) & 0x1FFF);
        benchmark::DoNotOptimize(ConvertToFixedAfr(lambda, 147));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertToFixedAfr);

}  // namespace
}  // namespace lamdex

BENCHMARK_MAIN();
