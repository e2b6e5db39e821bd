#pragma once
// The 3-D view: a PCL visualizer rendering into the window's VTK widget, with the frame
// and selection clouds, camera presets, coordinate system, orientation marker,
// measurement grid, area picking and the readout under the mouse.

#include "convert/CloudBuilder.h"
#include "view/ColourLegend.h"
#include "view/Ruler.h"

#include <QString>

#include <Eigen/Geometry>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkOrientationMarkerWidget.h>
#include <vtkSmartPointer.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QVTKOpenGLNativeWidget;
class vtkBillboardTextActor3D;
class vtkCallbackCommand;
class vtkIdTypeArray;
class vtkWorldPointPicker;

namespace hvk32 {

class LegendOverlay;
class RulerOverlay;

class ViewerScene {
public:
    using Cloud = pcl::PointCloud<pcl::PointXYZRGB>;
    static constexpr const char* kFrameCloudId = "realTime_points";
    static constexpr const char* kSelectionCloudId = "clicked_points";
    static constexpr const char* kCoordinateId = "coordinate";
    static constexpr const char* kReadoutId = "0";
    static constexpr const char* kTrajectoryId = "map_trajectory";
    static constexpr const char* kPoseMarkerId = "map_pose";
    static constexpr const char* kHeadingId = "map_heading";
    static constexpr int kSelectionPointSize = 5;
    // How far from a click the ruler looks for a cloud point [px].
    static constexpr double kSnapRadiusPixels = 12.0;

    explicit ViewerScene(QVTKOpenGLNativeWidget* screen);
    ~ViewerScene();

    pcl::visualization::PCLVisualizer& viewer() { return *viewer_; }
    Cloud::Ptr frameCloud() const { return frameCloud_; }
    Cloud::Ptr selectionCloud() const { return selectionCloud_; }

    // The area dragged while area picking (what the current camera draws inside the
    // rectangle), and key-down key symbols ("plus", "minus", ...).
    void onAreaPicked(std::function<void(const SelectionArea&)> handler);
    void onKeyDown(std::function<void(const std::string& keySym)> handler);
    // A left click without a drag, at the interactor's pixel position (origin bottom left).
    void onClick(std::function<void(int x, int y)> handler);
    // The end of a rubber-band drag of area picking (after the area was picked).
    void onAreaDragEnded(std::function<void()> handler);
    // The mouse moved over the view (its position is the interactor's event position).
    void onMouseMoved(std::function<void()> handler);
    // True from the press to the release of the left button while area picking is on. The
    // rubber band is drawn over the image taken at the press, so the view must not be
    // rendered anew until the release, or the band is erased.
    bool isAreaDragging() const { return areaDragging_; }
    // The area between two corners in the interactor's pixels (origin bottom left), as the
    // current camera and viewport draw it.
    SelectionArea areaBetween(const double cornerA[2], const double cornerB[2]) const;

    // 0 "Front", 1 "Top", 2 "Left".
    void setCameraPreset(int index);
    // The camera the view starts with: an oblique view of the scanner's surroundings. The
    // first two frames shown after the start or a clear move it, in the same direction, to
    // where it sees the whole cloud (the first may hold only part of a revolution).
    void setOverviewCamera();
    // Moves the camera, keeping its direction, to where it sees all of the shown clouds;
    // false (camera unchanged) when nothing is shown.
    bool fitView();
    void showCoordinateSystem(bool shown);
    // The grid with each circle labelled with its radius.
    void showGrid(bool shown);
    int gridLabelCount() const { return static_cast<int>(gridLabels_.size()); }
    // The view's background; the readout, the legend and the grid labels take a text colour
    // that reads on it.
    void setBackground(Rgb8 colour);
    Rgb8 background() const { return background_; }
    // The colouring's legend at the right edge of the view; nothing hides it.
    void showLegend(const std::optional<ColourLegend>& legend);
    const LegendOverlay& legendOverlay() const { return *legend_; }
    // Writes the view as it is drawn now into a PNG file (replaced only once complete);
    // false with *error set when it cannot. The readout under the mouse is left out unless
    // `withReadout`: it tells where the mouse was, not what the view shows.
    bool saveImage(const QString& path, QString* error, bool withReadout = false);
    // Whether the readout is drawn.
    bool readoutShown() const;
    // Switches the visualizer's area picking on or off, through its own key binding.
    void toggleAreaPicking();

    // Replaces both clouds with the given points; the frame cloud at pointSize. Clouds
    // already shown are updated in place: their geometry and colours are replaced in the
    // existing VTK objects, which costs far less than adding them anew.
    void showClouds(const std::vector<CloudPoint>& frame, const std::vector<CloudPoint>& selection, int pointSize);
    // The map's trajectory as a line through `path`, and the scanner's current pose as a
    // sphere with a line along its x axis; an empty path removes them. Drawn with the next render.
    void showTrajectory(const std::vector<Eigen::Vector3f>& path, const Eigen::Isometry3d& current);
    // Removes every cloud and shape (the grid, the readout and the ruler too) and returns
    // to the overview camera, fitted to the next frame shown.
    void clear();

    // The point of the shown clouds drawn nearest to the pixel (x, y), within
    // kSnapRadiusPixels; nothing when no point is drawn that close.
    std::optional<RulerPoint> snapToCloud(int x, int y) const;
    // Draws the ruler's points, line and label (nothing for an empty ruler).
    void showRuler(const Ruler& ruler);
    const RulerOverlay& rulerOverlay() const { return *ruler_; }
    // Writes the distance and azimuth of the point under the mouse as text.
    void updateReadout();
    void render();

    int shapeCount() const;

private:
    struct CloudArrays;
    void sendKey(char key);
    void showCloud(const char* id, const Cloud::Ptr& cloud, bool uniformBlue, int pointSize);
    void onButtonEvent(unsigned long event);
    // Places the camera, looking from `towardCamera`, to see all of the shown clouds; false
    // when they are empty.
    bool fitCameraToClouds(const double towardCamera[3]);
    void removeGridLabels();
    // Shows only grid labels far enough apart on screen to be read, the nearest circle's first.
    void spaceGridLabels();

    QVTKOpenGLNativeWidget* screen_;
    pcl::visualization::PCLVisualizer::Ptr viewer_;
    Cloud::Ptr frameCloud_;
    Cloud::Ptr selectionCloud_;
    vtkSmartPointer<vtkOrientationMarkerWidget> orientationMarker_;
    std::function<void(const SelectionArea&)> areaPicked_;
    std::function<void(const std::string&)> keyDown_;
    std::function<void(int, int)> click_;
    std::function<void()> areaDragEnded_;
    std::function<void()> mouseMoved_;
    bool areaDragging_ = false;
    static constexpr int kFittedFrames = 2;
    int fitFramesLeft_ = kFittedFrames; // frames still to place the overview camera
    int pressPosition_[2] = {0, 0};
    vtkSmartPointer<vtkCallbackCommand> buttonCommand_;
    vtkSmartPointer<vtkCallbackCommand> renderStartCommand_;
    vtkSmartPointer<vtkWorldPointPicker> readoutPicker_;
    std::unique_ptr<RulerOverlay> ruler_;
    std::unique_ptr<LegendOverlay> legend_;
    std::vector<vtkSmartPointer<vtkBillboardTextActor3D>> gridLabels_;
    Rgb8 background_{0, 0, 0};
    // The vertex cells of each shown cloud (one per point, in order), kept across frames.
    std::unique_ptr<CloudArrays> frameArrays_, selectionArrays_;
};

} // namespace hvk32
