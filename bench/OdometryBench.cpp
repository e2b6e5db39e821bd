// Frames registered per second by the odometry: frames of a synthetic room (tests/support)
// seen from a scanner driving 10 m/s and turning 20 degrees a second, skewed as a rotating
// scanner fires them, about 86,000 points a frame. Run it on one core: taskset -c 0.

#include "odometry/Odometry.h"
#include "support/SyntheticRoom.h"

#include <benchmark/benchmark.h>

namespace {

void registerFrames(benchmark::State& state)
{
    const bool deskew = state.range(0) != 0;
    const Eigen::Isometry3d motion = synthetic::poseOf(1.0, 0, 0, 2.0);
    constexpr int kFrames = 20;
    std::vector<synthetic::Frame> frames;
    Eigen::Isometry3d start = synthetic::poseOf(-16, -4, 0, 0);
    for (int k = 0; k < kFrames; ++k) {
        frames.push_back(synthetic::frameOf(synthetic::boxRoom(0.15, static_cast<unsigned>(k + 1)), start, motion, true));
        start = start * motion;
    }
    hvk32::odometry::Parameters parameters;
    parameters.deskew = deskew;
    for (auto _ : state) {
        hvk32::odometry::Odometry odometry(parameters);
        for (int k = 0; k < kFrames; ++k)
            benchmark::DoNotOptimize(odometry.registerFrame(frames[static_cast<std::size_t>(k)].points(), 0.1 * k));
    }
    state.SetItemsProcessed(state.iterations() * kFrames); // items/s: frames a second
    state.counters["points_per_frame"] = static_cast<double>(frames[1].x.size());
}
BENCHMARK(registerFrames)->Arg(1)->Arg(0)->ArgName("deskew")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
