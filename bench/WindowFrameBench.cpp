// The window's frame-to-screen path on one core, without the rest of the window: what the
// window does with each frame it shows. The frame is copied (the window keeps the last one),
// converted and coloured by the cloud builder with the point table's listing as its visitor,
// handed to the 3-D view and rendered, and the widget is painted. The frames are the first 60
// of a capture, played by the capture player, shown round after round.
//
// Prints milliseconds per frame (median and mean) from the frame's arrival to the painted
// widget, and the part before the 3-D view (conversion, colours, listing). Needs a display:
//
//   bash bench/conversion.sh writes the capture it uses (60 s at 1200 rpm, dual echo), or
//   build/sim/hvk32-sim --quiet --pcap capture.pcap --seconds 60 --rpm 1200 --echo dual
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/hvk32-bench-window capture.pcap [rounds]

#include "acquisition/CapturePlayerCore.h"
#include "app/ViewerScene.h"
#include "records/AngleValues.h"
#include "convert/CloudBuilder.h"
#include "convert/PointConversion.h"
#include "view/PointListing.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::size_t kFrames = 60;

using Clock = std::chrono::steady_clock;

double millisecondsBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double mean(const std::vector<double>& v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0.0 : sum / static_cast<double>(v.size());
}

} // namespace

int main(int argc, char** argv)
{
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CAPTURE [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    hvk32::CapturePlayerCore player;
    if (!player.open(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "not a capture: %s\n", argv[1]);
        return 1;
    }
    std::vector<LidarData> frames;
    player.start();
    for (;;) {
        const auto event = player.next(hvk32::CapturePlayerCore::Direction::Forward);
        if (event == hvk32::CapturePlayerCore::Event::End || frames.size() == kFrames)
            break;
        if (event == hvk32::CapturePlayerCore::Event::Frame)
            frames.push_back(player.frame());
    }
    if (frames.empty()) {
        std::fprintf(stderr, "no frames in %s\n", argv[1]);
        return 1;
    }

    hvk32::CloudParameters params;
    params.degreeMode = player.configuration().degreeMode;
    params.modeKnown = 1;
    std::copy(player.offsetAngles().begin(), player.offsetAngles().end(), params.offsetAngles);
    const float* vertical = hvk32::builtInVerticalAngles(params.degreeMode);
    std::copy(vertical, vertical + kChannelCount, params.deviceVerticalAngles);
    params.colorMode = hvk32::ColorMode::Intensity;

    QVTKOpenGLNativeWidget screen;
    screen.resize(1280, 800);
    screen.show();
    hvk32::ViewerScene scene(&screen);
    app.processEvents();

    hvk32::CloudBuilder builder;
    hvk32::CloudResult result;
    int rows = 0;
    hvk32::PointListing listing([&rows](int, const QStringList&) { ++rows; });
    const hvk32::CloudBuilder::PointVisitor listPoint = [&listing](const hvk32::ConvertedPoint& p) { listing.addPoint(p); };
    LidarData last;

    std::vector<double> toScreen, beforeView;
    std::size_t points = 0;
    for (int r = 0; r < rounds; ++r) {
        for (const LidarData& frame : frames) {
            const Clock::time_point arrived = Clock::now();
            last = frame;
            listing.beginFrame(false);
            builder.build(frame, params, result, &listPoint);
            const Clock::time_point converted = Clock::now();
            scene.showClouds(result.frame, result.selection, 1);
            app.processEvents();
            const Clock::time_point shown = Clock::now();
            points += result.frame.size() + result.selection.size();
            if (r > 0) { // the first round sets up the view's objects
                beforeView.push_back(millisecondsBetween(arrived, converted));
                toScreen.push_back(millisecondsBetween(arrived, shown));
            }
        }
    }
    std::printf("%zu frames of %.0f points, %d rounds (the first not counted)\n", frames.size(),
                static_cast<double>(points) / static_cast<double>(frames.size() * static_cast<std::size_t>(rounds)), rounds);
    std::printf("frame to screen: median %.2f ms, mean %.2f ms\n", median(toScreen), mean(toScreen));
    std::printf("  before the view (copy, conversion, colours, listing): median %.2f ms, mean %.2f ms\n",
                median(beforeView), mean(beforeView));
    std::printf("point table rows written: %d\n", rows);
    return 0;
}
