// Converting one simulator frame into a coloured cloud on one core: single echo and dual echo
// (both echoes), Intensity colours, with and without a point visitor. Reports points per second.
//
//   ./build/bench/hvk32-bench-cloud

#include "acquisition/DataPacket.h"
#include "acquisition/FrameAssembler.h"
#include "records/AngleValues.h"
#include "sim/ScannerStream.h"
#include "convert/CloudBuilder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <iterator>

namespace {

// The second frame of the stream: a full revolution with the carried point in front.
LidarData frameOf(hvk32::sim::EchoMode echo)
{
    hvk32::sim::ScannerSettings settings;
    settings.echo = echo;
    hvk32::sim::ScannerStream stream(settings);
    hvk32::FrameAssembler assembler;
    const bool dual = echo == hvk32::sim::EchoMode::Dual;
    assembler.setConfiguration(dual ? hvk32::SensorConfig::DualEcho : hvk32::SensorConfig::SingleEcho);
    assembler.setEchoSelection(hvk32::DualEchoSelection);
    std::array<std::uint8_t, hvk32::datapacket::kPacketSize> packet{};
    int frames = 0;
    LidarData frame;
    while (frames < 2) {
        stream.nextDataPacket(packet.data());
        assembler.addPacket(packet.data(), [&](LidarData& f) {
            frame = std::move(f);
            ++frames;
        });
    }
    return frame;
}

void run(benchmark::State& state, hvk32::sim::EchoMode echo, bool withVisitor)
{
    const LidarData frame = frameOf(echo);
    hvk32::CloudParameters params;
    params.modeKnown = 1;
    std::copy(std::begin(defaultVerticalAngles1), std::end(defaultVerticalAngles1), params.deviceVerticalAngles);
    params.colorMode = hvk32::ColorMode::Intensity;

    std::size_t visited = 0;
    const hvk32::CloudBuilder::PointVisitor visitor = [&](const hvk32::ConvertedPoint& p) {
        visited += p.intensity > 0 ? 1 : 0;
    };
    hvk32::CloudBuilder builder;
    hvk32::CloudResult result;
    std::size_t points = 0;
    for (auto _ : state) {
        builder.build(frame, params, result, withVisitor ? &visitor : nullptr);
        points += result.frame.size() + result.selection.size();
        benchmark::DoNotOptimize(result.frame.data());
    }
    benchmark::DoNotOptimize(visited);
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
    state.counters["points/frame"] = double(result.frame.size() + result.selection.size());
}

void SingleEcho(benchmark::State& state) { run(state, hvk32::sim::EchoMode::Single, false); }
void SingleEchoVisited(benchmark::State& state) { run(state, hvk32::sim::EchoMode::Single, true); }
void DualEchoBoth(benchmark::State& state) { run(state, hvk32::sim::EchoMode::Dual, false); }
void DualEchoBothVisited(benchmark::State& state) { run(state, hvk32::sim::EchoMode::Dual, true); }

} // namespace

BENCHMARK(SingleEcho)->Unit(benchmark::kMillisecond);
BENCHMARK(SingleEchoVisited)->Unit(benchmark::kMillisecond);
BENCHMARK(DualEchoBoth)->Unit(benchmark::kMillisecond);
BENCHMARK(DualEchoBothVisited)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
