// Decoding, frame assembly and conversion of whole captures on one core. Two captures:
// HVK32_BENCH_CAPTURE (written by `hvk32-sim --pcap F --seconds 60 --rpm 1200 --echo dual`,
// see bench/conversion.sh), and tests/data/one-revolution.pcap repeated 400 times. Both are
// read from memory, so the file system plays no part.
//
//   Player/...       the capture player core (decode + frame assembly), packets/s
//   Assembler/...    the live frame assembler over the same data packets, packets/s
//   Convert.../...   frames of the capture turned into points, points/s
//
// The file compiles in trees without the one conversion too (for a baseline measured in the
// same run): there the conversions are the CSV export's fixed-offset converter and the
// window's cloud builder.
//
//   HVK32_BENCH_CAPTURE=capture.pcap ./build/bench/hvk32-bench-conversion

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DataPacket.h"
#include "acquisition/FrameAssembler.h"
#include "records/AngleValues.h"
#include "convert/CloudBuilder.h"
#include "io/CsvExport.h"

#if __has_include("convert/PointConversion.h")
#include "convert/PointConversion.h"
#define HVK32_ONE_CONVERSION 1
#endif

#include <QBuffer>
#include <QByteArray>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

constexpr int kGoldenRepeats = 400;
constexpr std::size_t kFramesKept = 60; // frames held in memory for the conversion runs

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The golden revolution's records, repeated, with record times that go on increasing.
QByteArray repeatedGolden()
{
    const QByteArray one = readFile(QStringLiteral(HVK32_TEST_DATA_DIR "/one-revolution.pcap"));
    if (one.size() < int(hvk32::capturefile::kFileHeaderSize))
        return {};
    QByteArray out = one.left(hvk32::capturefile::kFileHeaderSize);
    const QByteArray records = one.mid(hvk32::capturefile::kFileHeaderSize);
    for (int r = 0; r < kGoldenRepeats; ++r) {
        QByteArray copy = records;
        for (int at = 0; at + 16 <= copy.size();) {
            std::uint32_t seconds, length;
            std::memcpy(&seconds, copy.constData() + at, 4);
            std::memcpy(&length, copy.constData() + at + 8, 4);
            seconds += static_cast<std::uint32_t>(r);
            std::memcpy(copy.data() + at, &seconds, 4);
            at += 16 + static_cast<int>(length);
        }
        out += copy;
    }
    return out;
}

const QByteArray& capture(bool golden)
{
    static const QByteArray sixty = readFile(QString::fromLocal8Bit(std::getenv("HVK32_BENCH_CAPTURE")));
    static const QByteArray repeated = repeatedGolden();
    return golden ? repeated : sixty;
}

struct Played {
    std::vector<LidarData> frames;
    hvk32::ConversionSnapshot snapshot;
    bool dual = false;
    std::vector<std::vector<std::uint8_t>> dataPayloads;
};

// The first kFramesKept frames and every data payload of a capture.
const Played& played(bool golden)
{
    static Played cache[2];
    static bool done[2] = {false, false};
    Played& p = cache[golden ? 1 : 0];
    if (done[golden ? 1 : 0])
        return p;
    done[golden ? 1 : 0] = true;
    QByteArray bytes = capture(golden);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    hvk32::CapturePlayerCore player;
    if (!player.open(&buffer))
        return p;
    player.start();
    for (;;) {
        const auto event = player.next(hvk32::CapturePlayerCore::Direction::Forward);
        if (event == hvk32::CapturePlayerCore::Event::End)
            break;
        if (event == hvk32::CapturePlayerCore::Event::Frame && p.frames.size() < kFramesKept)
            p.frames.push_back(player.frame());
    }
    p.dual = player.configuration().echoMode == hvk32::dualEchoConfigName();
    const float* table = hvk32::builtInVerticalAngles(player.configuration().degreeMode);
    for (int c = 0; c < 32; ++c)
        verticalAngleTable[c] = table[c];
    p.snapshot = hvk32::ConversionSnapshot::ofDevice(player.configuration().degreeMode, 1, player.offsetAngles());

    hvk32::capturefile::CaptureReader reader;
    buffer.seek(0);
    if (reader.open(&buffer)) {
        hvk32::capturefile::ScannerRecord record{};
        for (;;) {
            const auto r = reader.next(record);
            if (r == hvk32::capturefile::CaptureReader::Read::End)
                break;
            if (r != hvk32::capturefile::CaptureReader::Read::Scanner)
                continue;
            const std::uint8_t* payload = record.data() + hvk32::capturefile::kPayloadOffset;
            if (hvk32::datapacket::isDataPacket(payload, hvk32::datapacket::kPacketSize))
                p.dataPayloads.emplace_back(payload, payload + hvk32::datapacket::kPacketSize);
        }
    }
    return p;
}

void Player(benchmark::State& state, bool golden)
{
    QByteArray bytes = capture(golden);
    if (bytes.isEmpty()) {
        state.SkipWithError("no capture (HVK32_BENCH_CAPTURE)");
        return;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    hvk32::CapturePlayerCore player;
    if (!player.open(&buffer)) {
        state.SkipWithError("not a capture");
        return;
    }
    std::uint64_t packets = 0, frames = 0;
    for (auto _ : state) {
        player.start();
        while (player.next(hvk32::CapturePlayerCore::Direction::Forward) != hvk32::CapturePlayerCore::Event::End) {
        }
        packets += player.dataPackets();
        frames += static_cast<std::uint64_t>(player.frameCounter());
    }
    state.counters["packets/s"] = benchmark::Counter(double(packets), benchmark::Counter::kIsRate);
    state.counters["points/s"] = benchmark::Counter(double(packets) * 384, benchmark::Counter::kIsRate);
    state.counters["frames"] = double(frames) / double(state.iterations());
}

void Assembler(benchmark::State& state, bool golden)
{
    const Played& p = played(golden);
    if (p.dataPayloads.empty()) {
        state.SkipWithError("no capture (HVK32_BENCH_CAPTURE)");
        return;
    }
    hvk32::FrameAssembler assembler;
    assembler.setConfiguration(p.dual ? hvk32::SensorConfig::DualEcho : hvk32::SensorConfig::SingleEcho);
    assembler.setEchoSelection(hvk32::DualEchoSelection);
    std::uint64_t packets = 0, frames = 0;
    const hvk32::FrameAssembler::FrameSink sink = [&](LidarData& f) {
        ++frames;
        benchmark::DoNotOptimize(f.distances.data());
    };
    for (auto _ : state) {
        for (const auto& payload : p.dataPayloads)
            assembler.addPacket(payload.data(), sink);
        packets += p.dataPayloads.size();
    }
    state.counters["packets/s"] = benchmark::Counter(double(packets), benchmark::Counter::kIsRate);
    state.counters["frames"] = double(frames) / double(state.iterations());
}

// Converts every kept frame, round after round; `convert` returns the points of one frame.
template<typename Convert>
void convertFrames(benchmark::State& state, bool golden, Convert convert)
{
    const Played& p = played(golden);
    if (p.frames.empty()) {
        state.SkipWithError("no frames");
        return;
    }
    std::uint64_t points = 0;
    for (auto _ : state)
        for (const LidarData& f : p.frames)
            points += convert(f, p.snapshot);
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
    state.counters["points/frame"] = double(points) / double(state.iterations() * p.frames.size());
}

#ifdef HVK32_ONE_CONVERSION
// The PCD and PLY export's conversion: fixed offsets, zero distances dropped, every field.
void ConvertFast(benchmark::State& state, bool golden)
{
    hvk32::PointConversion conversion;
    hvk32::PointArrays points;
    hvk32::ConversionOptions options;
    options.keepZeroDistances = false;
    convertFrames(state, golden, [&](const LidarData& f, const hvk32::ConversionSnapshot& s) {
        conversion.convert(f, s, hvk32::AngleTerms::fixed(s), options, points);
        benchmark::DoNotOptimize(points.x.data());
        return points.size;
    });
}

// The CSV export's and the point table's conversion.
void ConvertExact(benchmark::State& state, bool golden)
{
    hvk32::PointConversion conversion;
    hvk32::PointArrays points;
    hvk32::ConversionOptions options;
    options.precision = hvk32::Precision::Exact;
    options.keepZeroDistances = false;
    convertFrames(state, golden, [&](const LidarData& f, const hvk32::ConversionSnapshot& s) {
        conversion.convert(f, s, hvk32::AngleTerms::fixed(s), options, points);
        benchmark::DoNotOptimize(points.x.data());
        return points.size;
    });
}
#else
// Before the one conversion: the PCD export's loop over the fixed-offset converter.
void ConvertFixedOffset(benchmark::State& state, bool golden)
{
    struct PointXYZI {
        float x, y, z, intensity;
    };
    std::vector<PointXYZI> cloud;
    convertFrames(state, golden, [&](const LidarData& frame, const hvk32::ConversionSnapshot& s) {
        const hvk32::FixedOffsetConverter converter(s);
        cloud.clear();
        for (int c = 0; c < 32; ++c) {
            const std::size_t n = hvk32::channelPointCount(frame, c);
            for (std::size_t j = 0; j < n; ++j) {
                const float raw = frame.distances[c][j];
                if (!(raw > 0.0f))
                    continue;
                const auto p = converter.convert(c, raw, frame.azimuths[c][j]);
                if (hvk32::exportAzimuth(p.theta) > 360.0f)
                    continue;
                cloud.push_back({p.x, p.y, p.z, static_cast<float>(frame.intensities[c][j])});
            }
        }
        benchmark::DoNotOptimize(cloud.data());
        return cloud.size();
    });
}
#endif

// The window's conversion with its colours (intensity), no point visitor.
void WindowCloud(benchmark::State& state, bool golden)
{
    hvk32::CloudBuilder builder;
    hvk32::CloudResult result;
    convertFrames(state, golden, [&](const LidarData& f, const hvk32::ConversionSnapshot& s) {
        hvk32::CloudParameters params;
        params.degreeMode = s.degreeMode;
        params.modeKnown = s.modeKnown;
        std::copy(std::begin(s.offsetAngles), std::end(s.offsetAngles), params.offsetAngles);
        std::copy(std::begin(s.deviceVerticalAngles), std::end(s.deviceVerticalAngles), params.deviceVerticalAngles);
        builder.build(f, params, result);
        benchmark::DoNotOptimize(result.frame.data());
        return result.frame.size() + result.selection.size();
    });
}

} // namespace

BENCHMARK_CAPTURE(Player, sixtySeconds, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Player, goldenRepeated, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Assembler, sixtySeconds, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Assembler, goldenRepeated, true)->Unit(benchmark::kMillisecond);
#ifdef HVK32_ONE_CONVERSION
BENCHMARK_CAPTURE(ConvertFast, sixtySeconds, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFast, goldenRepeated, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertExact, sixtySeconds, false)->Unit(benchmark::kMillisecond);
#else
BENCHMARK_CAPTURE(ConvertFixedOffset, sixtySeconds, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFixedOffset, goldenRepeated, true)->Unit(benchmark::kMillisecond);
#endif
// The cloud builder converts a large frame on two threads: its rate is per second of wall time.
BENCHMARK_CAPTURE(WindowCloud, sixtySeconds, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
