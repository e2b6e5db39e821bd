// Decoding plus frame assembly on one core, single and dual echo, over the simulator's
// stream. Reports packets per second and points per second. The ...WithLossDetection runs
// also pass every packet through the lost-packet detector, as the live receiver does; the
// two figures of one echo mode side by side give its cost.
//
//   ./build/bench/hvk32-bench-frames

#include "acquisition/DataPacket.h"
#include "acquisition/FrameAssembler.h"
#include "acquisition/PacketLossDetector.h"
#include "sim/ScannerStream.h"

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

namespace {

using Packet = std::array<std::uint8_t, hvk32::datapacket::kPacketSize>;

std::vector<Packet> packetsOf(hvk32::sim::EchoMode echo, int revolutions)
{
    hvk32::sim::ScannerSettings settings;
    settings.echo = echo;
    hvk32::sim::ScannerStream stream(settings);
    const int blocksPerPacket = echo == hvk32::sim::EchoMode::Dual ? 6 : 12;
    std::vector<Packet> packets(static_cast<std::size_t>(stream.blocksPerRevolution() / blocksPerPacket * revolutions));
    for (auto& p : packets)
        stream.nextDataPacket(p.data());
    return packets;
}

void run(benchmark::State& state, hvk32::sim::EchoMode echo, hvk32::SensorConfig config, int selection,
         bool detectLoss = false)
{
    const auto packets = packetsOf(echo, 4);
    hvk32::FrameAssembler assembler;
    assembler.setConfiguration(config);
    assembler.setEchoSelection(selection);
    std::size_t frames = 0;
    std::size_t points = 0;
    const hvk32::FrameAssembler::FrameSink sink = [&](LidarData& f) {
        ++frames;
        for (const auto& channel : f.distances)
            points += channel.size();
        benchmark::DoNotOptimize(f);
    };
    hvk32::PacketLossDetector detector;
    detector.setConfiguration(config);
    std::size_t processed = 0;
    for (auto _ : state) {
        for (const auto& p : packets) {
            if (detectLoss)
                detector.addPacket(p.data());
            assembler.addPacket(p.data(), sink);
        }
        processed += packets.size();
    }
    benchmark::DoNotOptimize(detector.health());
    state.counters["packets/s"] = benchmark::Counter(double(processed), benchmark::Counter::kIsRate);
    state.counters["points/s"] = benchmark::Counter(double(processed) * 384, benchmark::Counter::kIsRate);
    state.counters["frames"] = double(frames);
}

void SingleEcho(benchmark::State& state)
{
    run(state, hvk32::sim::EchoMode::Single, hvk32::SensorConfig::SingleEcho, 0);
}
void DualEchoBoth(benchmark::State& state)
{
    run(state, hvk32::sim::EchoMode::Dual, hvk32::SensorConfig::DualEcho, 0);
}
void SingleEchoWithLossDetection(benchmark::State& state)
{
    run(state, hvk32::sim::EchoMode::Single, hvk32::SensorConfig::SingleEcho, 0, true);
}
void DualEchoBothWithLossDetection(benchmark::State& state)
{
    run(state, hvk32::sim::EchoMode::Dual, hvk32::SensorConfig::DualEcho, 0, true);
}
void DualEchoFirst(benchmark::State& state)
{
    run(state, hvk32::sim::EchoMode::Dual, hvk32::SensorConfig::DualEcho, 1);
}

} // namespace

BENCHMARK(SingleEcho)->Unit(benchmark::kMillisecond);
BENCHMARK(SingleEchoWithLossDetection)->Unit(benchmark::kMillisecond);
BENCHMARK(DualEchoBoth)->Unit(benchmark::kMillisecond);
BENCHMARK(DualEchoBothWithLossDetection)->Unit(benchmark::kMillisecond);
BENCHMARK(DualEchoFirst)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
