// The capture player's core without pacing over a 60-second capture of the simulator
// (600 rpm, single echo, a device-info packet a second). Reports packets and frames per
// second.
//
//   ./build/bench/hvk32-bench-player

#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DataPacket.h"
#include "sim/CaptureFileWriter.h"
#include "sim/ScannerStream.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr std::uint64_t kCaptureSeconds = 60;

// Writes the simulator's stream into `path` as hvk32-sim --pcap does.
bool writeCapture(const std::string& path)
{
    using namespace hvk32;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    sim::CaptureFileWriter writer(file);
    sim::ScannerStream stream(sim::ScannerSettings{});
    const sim::ScannerSettings& s = stream.settings();
    std::array<std::uint8_t, datapacket::kPacketSize> data{};
    std::array<std::uint8_t, datapacket::kPacketSize> info{};
    std::uint64_t nextInfo = 0;
    std::uint64_t due = stream.nextDataPacket(data.data());
    const std::uint64_t end = kCaptureSeconds * sim::kMicrosPerSecond;
    while (due < end) {
        if (nextInfo <= due) {
            stream.deviceInfoPacket(nextInfo, info.data());
            writer.writeUdpRecord(stream.clockEpochMicros(nextInfo), s.deviceIp, 2368, s.hostIp, s.telemetryPort,
                                  info.data(), info.size());
            nextInfo += sim::kMicrosPerSecond;
        } else {
            writer.writeUdpRecord(stream.clockEpochMicros(due), s.deviceIp, 2368, s.hostIp, s.dataPort, data.data(),
                                  data.size());
            due = stream.nextDataPacket(data.data());
        }
    }
    file.close();
    return writer.good() && file.good();
}

void PlayCapture(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("sixty-seconds.pcap").toStdString();
    if (!dir.isValid() || !writeCapture(path)) {
        state.SkipWithError("cannot write the capture");
        return;
    }
    hvk32::CapturePlayerCore player;
    if (!player.open(QString::fromStdString(path))) {
        state.SkipWithError("cannot open the capture");
        return;
    }
    std::uint64_t packets = 0;
    std::uint64_t frames = 0;
    for (auto _ : state) {
        player.start();
        for (;;) {
            const auto event = player.next(hvk32::CapturePlayerCore::Direction::Forward);
            if (event == hvk32::CapturePlayerCore::Event::End)
                break;
            if (event == hvk32::CapturePlayerCore::Event::Frame) {
                ++frames;
                benchmark::DoNotOptimize(player.frame());
            }
        }
        packets += player.dataPackets() + player.deviceInfoPackets();
    }
    state.counters["packets/s"] = benchmark::Counter(double(packets), benchmark::Counter::kIsRate);
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["frames"] = double(frames) / double(state.iterations());
    state.counters["MB"] = double(player.fileLength()) / 1e6;
}

} // namespace

BENCHMARK(PlayCapture)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
