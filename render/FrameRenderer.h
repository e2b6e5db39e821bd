#pragma once
// One picture after another of a capture's frames as they are played: each frame converted
// and drawn from the chosen camera with the overlay, or with a map, each frame registered by
// the odometry and the map so far drawn with the scanner's path. The command line hands it
// frames and writes the pictures it gives.

#include "io/PlayedFrames.h"
#include "odometry/FrameTracker.h"
#include "odometry/MapAccumulator.h"
#include "render/FramePainter.h"
#include "render/Overlay.h"
#include "render/Raster.h"

#include <memory>
#include <optional>
#include <vector>

namespace hvk32::render {

enum class View {
    Top,         // looking down the z axis, the scanner (or with a map, its newest place) at the centre
    Perspective, // the window's starting camera
    Orbit,       // that camera turning once around the scanner
    Following,   // with a map: behind and above the scanner
};

struct RenderSettings {
    int width = 1280, height = 720;
    Rgb8 background{0, 0, 0};
    PaintStyle style;
    View view = View::Top;
    double range = 30.0; // [m] the top view's, from the centre to the nearer edge
    bool overlay = true;
    bool map = false;
    int frames = 0; // the capture's, for the overlay's counter
};

class FrameRenderer {
public:
    explicit FrameRenderer(const RenderSettings& settings);
    ~FrameRenderer();
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    // Takes the next frame, which stays valid until the next call: registers it into the map
    // with a map; a frame alone is converted when first drawn, so frames never drawn cost
    // nothing.
    void take(const PlayedFrames::Frame& frame);
    // The picture of the frame taken last; `turn` (0..1) turns an orbit's camera.
    const Picture& draw(double turn);

    const odometry::MapAccumulator& map() const { return map_; }

private:
    RenderCamera camera(double turn) const;
    void drawPath(const RenderCamera& camera);
    QStringList overlayLines() const;

    const RenderSettings settings_;
    std::unique_ptr<Overlay> overlay_;
    FramePainter painter_;
    Raster raster_;
    std::optional<CameraPlacement> starting_;
    const PlayedFrames::Frame* frame_ = nullptr;
    bool converted_ = false; // frame_'s points are the painter's
    std::unique_ptr<odometry::FrameTracker> tracker_;
    odometry::MapAccumulator map_;
    std::vector<Eigen::Vector3f> world_;
};

} // namespace hvk32::render
