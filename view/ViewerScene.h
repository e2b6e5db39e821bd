#pragma once
// The 3-D view: a PCL visualizer rendering into the window's VTK widget, with the frame
// and selection clouds, camera presets, coordinate system, orientation marker,
// measurement grid, area picking and the readout under the mouse.

#include "view/CloudBuilder.h"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkOrientationMarkerWidget.h>
#include <vtkSmartPointer.h>

#include <functional>
#include <vector>

class QVTKOpenGLNativeWidget;

namespace hvk32 {

class ViewerScene {
public:
    using Cloud = pcl::PointCloud<pcl::PointXYZRGB>;
    static constexpr const char* kFrameCloudId = "realTime_points";
    static constexpr const char* kSelectionCloudId = "clicked_points";
    static constexpr const char* kCoordinateId = "coordinate";
    static constexpr const char* kReadoutId = "0";
    static constexpr int kSelectionPointSize = 5;

    explicit ViewerScene(QVTKOpenGLNativeWidget* screen);
    ~ViewerScene();

    pcl::visualization::PCLVisualizer& viewer() { return *viewer_; }
    Cloud::Ptr frameCloud() const { return frameCloud_; }
    Cloud::Ptr selectionCloud() const { return selectionCloud_; }

    // Picked indices of the frame cloud, and key-down key symbols ("plus", "minus", ...).
    void onAreaPicked(std::function<void(const std::vector<int>&)> handler);
    void onKeyDown(std::function<void(const std::string& keySym)> handler);

    // 0 "Front", 1 "Top", 2 "Left".
    void setCameraPreset(int index);
    // The camera the view starts with: an oblique view of the scanner's surroundings.
    void setOverviewCamera();
    void showCoordinateSystem(bool shown);
    void showGrid(bool shown);
    // Switches the visualizer's area picking on or off, through its own key binding.
    void toggleAreaPicking();

    // Replaces both clouds with the given points; the frame cloud at pointSize.
    void showClouds(const std::vector<CloudPoint>& frame, const std::vector<CloudPoint>& selection, int pointSize);
    // Replaces the selection cloud with picked points of the frame cloud.
    void showSelection(const Cloud& points);
    // Removes every cloud and shape (the grid and the readout too) and resets the camera.
    void clear();
    // Writes the distance and azimuth of the point under the mouse as text.
    void updateReadout();
    void render();

    int shapeCount() const;

private:
    void sendKey(char key);

    QVTKOpenGLNativeWidget* screen_;
    pcl::visualization::PCLVisualizer::Ptr viewer_;
    Cloud::Ptr frameCloud_;
    Cloud::Ptr selectionCloud_;
    vtkSmartPointer<vtkOrientationMarkerWidget> orientationMarker_;
    std::function<void(const std::vector<int>&)> areaPicked_;
    std::function<void(const std::string&)> keyDown_;
};

} // namespace hvk32
