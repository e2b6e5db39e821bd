// The frame index on a large capture (path in HVK32_BENCH_CAPTURE, e.g. written by
// bench/CaptureIndexBench.sh): how fast it is built, beside reading the same file in the
// same chunks; how long a seek takes until the frame's points are ready, beside reaching
// the same frame by forward play from the start; and its bytes per frame.

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

QString capturePath()
{
    const char* path = std::getenv("HVK32_BENCH_CAPTURE");
    return path ? QString::fromLocal8Bit(path) : QString();
}

const hvk32::CaptureFrameIndex& sharedIndex()
{
    static hvk32::CaptureFrameIndex index;
    static const bool built = index.build(capturePath());
    (void)built;
    return index;
}

void BM_ReadFileOnly(benchmark::State& state)
{
    std::vector<char> buffer(4 << 20);
    qint64 total = 0;
    for (auto _ : state) {
        QFile f(capturePath());
        if (!f.open(QIODevice::ReadOnly)) {
            state.SkipWithError("set HVK32_BENCH_CAPTURE to a capture file");
            return;
        }
        for (qint64 got; (got = f.read(buffer.data(), static_cast<qint64>(buffer.size()))) > 0;)
            total += got;
    }
    state.SetBytesProcessed(total);
}

void BM_BuildIndex(benchmark::State& state)
{
    qint64 total = 0;
    hvk32::CaptureFrameIndex index;
    for (auto _ : state) {
        if (!index.build(capturePath())) {
            state.SkipWithError("set HVK32_BENCH_CAPTURE to a capture file");
            return;
        }
        total += index.fileLength();
    }
    state.SetBytesProcessed(total);
    state.counters["frames"] = index.frameCount();
    state.counters["indexBytesPerFrame"] =
        index.frameCount() ? static_cast<double>(index.memoryBytes()) / index.frameCount() : 0.0;
}

// Seek to the frame at arg/100 of the capture and play until its points are ready.
void BM_SeekToFrame(benchmark::State& state)
{
    const hvk32::CaptureFrameIndex& index = sharedIndex();
    hvk32::CapturePlayerCore player;
    if (index.frameCount() == 0 || !player.open(capturePath())) {
        state.SkipWithError("set HVK32_BENCH_CAPTURE to a capture file");
        return;
    }
    player.start();
    const int n = std::max(1, static_cast<int>(index.frameCount() * state.range(0) / 100));
    for (auto _ : state) {
        player.seek(index, n);
        auto e = player.next(hvk32::CapturePlayerCore::Direction::Forward);
        while (e != hvk32::CapturePlayerCore::Event::Frame && e != hvk32::CapturePlayerCore::Event::End)
            e = player.next(hvk32::CapturePlayerCore::Direction::Forward);
        benchmark::DoNotOptimize(player.frame().blockAzimuths.data());
    }
    state.counters["frame"] = n;
}

// What reaching that frame cost before: forward play from the start.
void BM_ForwardPlayToFrame(benchmark::State& state)
{
    const hvk32::CaptureFrameIndex& index = sharedIndex();
    hvk32::CapturePlayerCore player;
    if (index.frameCount() == 0 || !player.open(capturePath())) {
        state.SkipWithError("set HVK32_BENCH_CAPTURE to a capture file");
        return;
    }
    const int n = std::max(1, static_cast<int>(index.frameCount() * state.range(0) / 100));
    for (auto _ : state) {
        player.start();
        while (player.frameCounter() < n
               && player.next(hvk32::CapturePlayerCore::Direction::Forward) != hvk32::CapturePlayerCore::Event::End) {
        }
        benchmark::DoNotOptimize(player.frame().blockAzimuths.data());
    }
    state.counters["frame"] = n;
}

} // namespace

BENCHMARK(BM_ReadFileOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SeekToFrame)->Arg(1)->Arg(25)->Arg(50)->Arg(75)->Arg(99)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ForwardPlayToFrame)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
