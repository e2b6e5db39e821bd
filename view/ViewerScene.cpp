#include "view/ViewerScene.h"

#include "view/MeasurementGrid.h"
#include "view/Readout.h"

#include <QVTKOpenGLNativeWidget.h>
#include <pcl/visualization/point_cloud_color_handlers.h>
#include <vtkAxesActor.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
#include <vtkWorldPointPicker.h>

namespace hvk32 {

using pcl::visualization::PCL_VISUALIZER_OPACITY;
using pcl::visualization::PCL_VISUALIZER_POINT_SIZE;

ViewerScene::ViewerScene(QVTKOpenGLNativeWidget* screen) : screen_(screen)
{
    auto renderer = vtkSmartPointer<vtkRenderer>::New();
    auto window = vtkSmartPointer<vtkGenericOpenGLRenderWindow>::New();
    window->AddRenderer(renderer);
    viewer_.reset(new pcl::visualization::PCLVisualizer(renderer, window, "viewer", false));
    screen_->setRenderWindow(viewer_->getRenderWindow());
    viewer_->setupInteractor(screen_->interactor(), screen_->renderWindow());

    frameCloud_.reset(new Cloud);
    selectionCloud_.reset(new Cloud);

    viewer_->registerAreaPickingCallback([this](const pcl::visualization::AreaPickingEvent& event) {
        const pcl::Indices picked = event.getPointsIndices(kFrameCloudId);
        std::vector<int> indices;
        for (const auto i : picked) {
            if (i >= 0 && static_cast<std::size_t>(i) < frameCloud_->size())
                indices.push_back(static_cast<int>(i));
        }
        if (areaPicked_)
            areaPicked_(indices);
    });
    viewer_->registerKeyboardCallback([this](const pcl::visualization::KeyboardEvent& event) {
        if (event.keyDown() && keyDown_)
            keyDown_(event.getKeySym());
    });

    auto axes = vtkSmartPointer<vtkAxesActor>::New();
    orientationMarker_ = vtkSmartPointer<vtkOrientationMarkerWidget>::New();
    orientationMarker_->SetOrientationMarker(axes);
    orientationMarker_->SetInteractor(screen_->interactor());
    orientationMarker_->SetViewport(0.0, 0.0, 0.2, 0.2);
    orientationMarker_->SetEnabled(1);
    orientationMarker_->InteractiveOff();
    setOverviewCamera();
    render();
}

void ViewerScene::setOverviewCamera()
{
    // Looking down at the scanner from behind and above, so a room around it reads at once.
    viewer_->setCameraPosition(-22.0, -22.0, 19.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
}

ViewerScene::~ViewerScene()
{
    orientationMarker_->SetEnabled(0);
}

void ViewerScene::onAreaPicked(std::function<void(const std::vector<int>&)> handler)
{
    areaPicked_ = std::move(handler);
}

void ViewerScene::onKeyDown(std::function<void(const std::string&)> handler)
{
    keyDown_ = std::move(handler);
}

void ViewerScene::setCameraPreset(int index)
{
    switch (index) {
    case 0:
        viewer_->setCameraPosition(0, -1, 0, 0.5, 0.5, 0.5, 0, 0, 1);
        break;
    case 1:
        viewer_->setCameraPosition(0, 0, 1, 0, 0, 0, 0, 1, 0);
        break;
    case 2:
        viewer_->setCameraPosition(-1, 0, 0, 0, 0, 0, 0, 0, 1);
        break;
    default:
        return;
    }
    // Keep the preset's direction but fit what is shown, so the preset shows the scene
    // rather than the metre around the scanner.
    viewer_->resetCamera();
    render();
}

void ViewerScene::showCoordinateSystem(bool shown)
{
    if (shown)
        viewer_->addCoordinateSystem(0.5, kCoordinateId);
    else
        viewer_->removeCoordinateSystem(kCoordinateId);
    viewer_->resetCamera();
    render();
}

void ViewerScene::showGrid(bool shown)
{
    if (shown) {
        for (const GridSegment& s : measurementGridSegments()) {
            viewer_->addLine(pcl::PointXYZ(float(s.x0), float(s.y0), 0.0f), pcl::PointXYZ(float(s.x1), float(s.y1), 0.0f),
                             kGridColor, kGridColor, kGridColor, s.id);
            viewer_->setShapeRenderingProperties(PCL_VISUALIZER_OPACITY, kGridOpacity, s.id);
        }
    } else {
        viewer_->removeAllShapes();
    }
    viewer_->resetCamera();
    render();
}

void ViewerScene::sendKey(char key)
{
    // The visualizer binds its tools to keys of the VTK interactor; the event goes straight
    // to it, so no keyboard layout or OS key synthesis is involved.
    vtkRenderWindowInteractor* interactor = screen_->interactor();
    const char sym[2] = {key, 0};
    interactor->SetKeyEventInformation(0, 0, key, 1, sym);
    interactor->InvokeEvent(vtkCommand::KeyPressEvent, nullptr);
    interactor->InvokeEvent(vtkCommand::CharEvent, nullptr);
    interactor->InvokeEvent(vtkCommand::KeyReleaseEvent, nullptr);
}

void ViewerScene::toggleAreaPicking()
{
    screen_->setFocus();
    sendKey('x');
}

namespace {

void fill(ViewerScene::Cloud& cloud, const std::vector<CloudPoint>& points)
{
    cloud.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        pcl::PointXYZRGB& p = cloud[i];
        const CloudPoint& q = points[i];
        p.x = q.x;
        p.y = q.y;
        p.z = q.z;
        p.r = q.r;
        p.g = q.g;
        p.b = q.b;
    }
    cloud.width = static_cast<std::uint32_t>(points.size());
    cloud.height = 1;
}

} // namespace

void ViewerScene::showClouds(const std::vector<CloudPoint>& frame, const std::vector<CloudPoint>& selection, int pointSize)
{
    fill(*frameCloud_, frame);
    fill(*selectionCloud_, selection);

    viewer_->removePointCloud(kSelectionCloudId);
    pcl::visualization::PointCloudColorHandlerCustom<pcl::PointXYZRGB> blue(selectionCloud_, 0, 0, 255);
    viewer_->addPointCloud(selectionCloud_, blue, kSelectionCloudId);
    viewer_->setPointCloudRenderingProperties(PCL_VISUALIZER_POINT_SIZE, kSelectionPointSize, kSelectionCloudId);

    viewer_->removePointCloud(kFrameCloudId);
    pcl::visualization::PointCloudColorHandlerRGBField<pcl::PointXYZRGB> colours(frameCloud_);
    viewer_->addPointCloud(frameCloud_, colours, kFrameCloudId);
    viewer_->setPointCloudRenderingProperties(PCL_VISUALIZER_POINT_SIZE, pointSize, kFrameCloudId);
    render();
}

void ViewerScene::showSelection(const Cloud& points)
{
    *selectionCloud_ = points;
    viewer_->removePointCloud(kSelectionCloudId);
    pcl::visualization::PointCloudColorHandlerCustom<pcl::PointXYZRGB> blue(selectionCloud_, 0, 0, 255);
    viewer_->addPointCloud(selectionCloud_, blue, kSelectionCloudId);
    viewer_->setPointCloudRenderingProperties(PCL_VISUALIZER_POINT_SIZE, kSelectionPointSize, kSelectionCloudId);
    render();
}

void ViewerScene::clear()
{
    viewer_->removeAllPointClouds();
    viewer_->removeAllShapes();
    viewer_->resetCamera();
    setOverviewCamera();
    render();
}

void ViewerScene::updateReadout()
{
    vtkRenderWindowInteractor* interactor = screen_->interactor();
    vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
    if (!interactor || !renderer)
        return;
    auto picker = vtkSmartPointer<vtkWorldPointPicker>::New();
    interactor->SetPicker(picker);
    const int* position = interactor->GetEventPosition();
    picker->Pick(position[0], position[1], 0, renderer);
    double world[3] = {0, 0, 0};
    picker->GetPickPosition(world);
    const std::string text = readoutText(world[0], world[1], world[2]).toStdString();
    if (viewer_->contains(kReadoutId))
        viewer_->updateText(text, 150, 0, 20, 0, 0, 1, kReadoutId);
    else
        viewer_->addText(text, 150, 0, 20, 0, 0, 1, kReadoutId);
}

void ViewerScene::render()
{
    screen_->renderWindow()->Render();
    screen_->update();
}

int ViewerScene::shapeCount() const
{
    return static_cast<int>(viewer_->getShapeActorMap()->size());
}

} // namespace hvk32
