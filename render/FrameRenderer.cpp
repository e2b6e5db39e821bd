#include "render/FrameRenderer.h"

#include "render/ViewCameras.h"
#include "view/Readout.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

namespace hvk32::render {

FrameRenderer::FrameRenderer(const RenderSettings& settings) : settings_(settings)
{
    if (settings_.overlay)
        overlay_ = std::make_unique<Overlay>(settings_.width, settings_.height, settings_.background,
                                             legendOf(settings_.style.colouring, settings_.style.distanceRange));
    if (settings_.map)
        tracker_ = std::make_unique<odometry::FrameTracker>(odometry::Parameters{});
}

FrameRenderer::~FrameRenderer() = default;

void FrameRenderer::take(const PlayedFrames::Frame& f)
{
    frame_ = &f;
    converted_ = false;
    if (!tracker_)
        return;
    tracker_->add(f.frame, f.snapshot, f.time);
    tracker_->odometry().toMap(tracker_->framePoints(), world_);
    odometry::MapFrame m;
    m.frameId = f.frameId;
    m.time = f.time;
    m.snapshot = f.snapshot;
    m.dualEcho = f.dualEcho;
    m.seconds = tracker_->seconds();
    map_.add(tracker_->points(), world_, tracker_->odometry().poses().back(), m);
}

const Picture& FrameRenderer::draw(double turn)
{
    if (!tracker_ && !converted_) {
        painter_.convert(frame_->frame, frame_->snapshot);
        converted_ = true;
        if (!starting_)
            starting_ = startingCamera(painter_.points(), double(settings_.width) / settings_.height);
    }
    raster_.clear(settings_.width, settings_.height, settings_.background);
    const RenderCamera c = camera(turn);
    if (tracker_) {
        painter_.drawPoints(raster_, c, map_.points(), settings_.style);
        drawPath(c);
    } else {
        painter_.drawFrame(raster_, c, frame_->frame, settings_.style);
    }
    if (overlay_)
        overlay_->draw(raster_.picture(), overlayLines());
    return raster_.picture();
}

RenderCamera FrameRenderer::camera(double turn) const
{
    const int w = settings_.width, h = settings_.height;
    if (tracker_) {
        const Eigen::Vector3d here = map_.poses().back().translation();
        if (settings_.view == View::Top)
            return RenderCamera::top(w, h, settings_.range, here.x(), here.y());
        const CameraPlacement c = followingCamera(map_.poses());
        return RenderCamera::perspective(w, h, c.position, c.focalPoint, {0, 0, 1}, kViewAngleDeg);
    }
    if (settings_.view == View::Top)
        return RenderCamera::top(w, h, settings_.range);
    const CameraPlacement c = settings_.view == View::Orbit ? turnedCamera(*starting_, turn) : *starting_;
    return RenderCamera::perspective(w, h, c.position, c.focalPoint, {0, 0, 1}, kViewAngleDeg);
}

// The scanner's path so far and where it is now, in the colour and width of the window's map.
void FrameRenderer::drawPath(const RenderCamera& camera)
{
    constexpr Rgb8 kPathColour{255, 0, 255};
    const auto& poses = map_.poses();
    for (std::size_t k = 1; k < poses.size(); ++k) {
        const Eigen::Vector3f a = poses[k - 1].translation().cast<float>();
        const Eigen::Vector3f b = poses[k].translation().cast<float>();
        raster_.line(camera, a.data(), b.data(), kPathColour, 3);
    }
    const Eigen::Vector3f here = poses.back().translation().cast<float>();
    raster_.disc(camera, here.data(), kPathColour, 5);
}

// In the window's words: its frame counter, the frame's time as the Offline tab shows it, and
// with a map the window's map status.
QStringList FrameRenderer::overlayLines() const
{
    const FrameTime& time = frame_->time;
    QStringList lines{
        QCoreApplication::translate("manwindow", "Frame count:") + QLatin1Char(' ')
            + QStringLiteral("%1 / %2").arg(frame_->frameId).arg(settings_.frames),
        QDateTime::fromMSecsSinceEpoch(time.captureMicros / 1000).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
        deviceStampText(time.deviceStamp)};
    if (tracker_)
        lines << QCoreApplication::translate("manwindow", "Map: %1 frames, %2 points")
                     .arg(QLocale().toString(qulonglong(map_.frames().size())),
                          QLocale().toString(qulonglong(map_.size())));
    return lines;
}

} // namespace hvk32::render
