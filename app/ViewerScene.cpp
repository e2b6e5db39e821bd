#include "app/ViewerScene.h"

#include "app/LegendOverlay.h"
#include "app/RendererKind.h"
#include "app/RulerOverlay.h"
#include "view/CameraFit.h"
#include "view/MeasurementGrid.h"
#include "view/Readout.h"

#include <QCoreApplication>
#include <QImage>
#include <QSaveFile>
#include <QVTKOpenGLNativeWidget.h>
#include <pcl/visualization/point_cloud_color_handlers.h>
#include <vtkAxesActor.h>
#include <vtkBillboardTextActor3D.h>
#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkIdTypeArray.h>
#include <vtkImageData.h>
#include <vtkLODActor.h>
#include <vtkMapper.h>
#include <vtkMatrix4x4.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyLine.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
#include <vtkTextProperty.h>
#include <vtkUnsignedCharArray.h>
#include <vtkWindowToImageFilter.h>
#include <vtkWorldPointPicker.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace hvk32 {

using pcl::visualization::PCL_VISUALIZER_OPACITY;
using pcl::visualization::PCL_VISUALIZER_POINT_SIZE;

namespace {

// A press and release closer than this are a click; farther apart they are a drag that
// turned the camera [px].
constexpr int kClickSlackPixels = 4;


constexpr int kReadoutFontSize = 20;
constexpr int kGridLabelFontSize = 13;
constexpr double kGridLabelSpacing = 70.0; // [px] between the grid labels shown

double unit(std::uint8_t v) { return v / 255.0; }

} // namespace

struct ViewerScene::CloudArrays {
    int pointSize = -1; // the size last applied to the shown cloud
    // One vertex cell per point: offsets 0..n and connectivity 0..n-1, grown and shrunk
    // with the cloud instead of rebuilt.
    vtkSmartPointer<vtkIdTypeArray> offsets, connectivity;
};

ViewerScene::ViewerScene(QVTKOpenGLNativeWidget* screen)
    : screen_(screen), frameArrays_(std::make_unique<CloudArrays>()), selectionArrays_(std::make_unique<CloudArrays>())
{
    auto renderer = vtkSmartPointer<vtkRenderer>::New();
    auto window = vtkSmartPointer<vtkGenericOpenGLRenderWindow>::New();
    window->AddRenderer(renderer);
    window->SetMultiSamples(viewMultiSamples(openGlRendererName(), window->GetMultiSamples()));
    viewer_.reset(new pcl::visualization::PCLVisualizer(renderer, window, "viewer", false));
    screen_->setRenderWindow(viewer_->getRenderWindow());
    viewer_->setupInteractor(screen_->interactor(), screen_->renderWindow());

    frameCloud_.reset(new Cloud);
    selectionCloud_.reset(new Cloud);

    viewer_->registerAreaPickingCallback([this](const pcl::visualization::AreaPickingEvent&) {
        // The rectangle runs from the press to this release; the selection is what the
        // camera draws inside it, not the picker's own frustum test.
        const int* release = screen_->interactor()->GetEventPosition();
        const double a[2] = {double(pressPosition_[0]), double(pressPosition_[1])};
        const double b[2] = {double(release[0]), double(release[1])};
        if (areaPicked_)
            areaPicked_(areaBetween(a, b));
    });
    viewer_->registerMouseCallback([this](const pcl::visualization::MouseEvent& event) {
        if (event.getType() == pcl::visualization::MouseEvent::MouseMove && mouseMoved_)
            mouseMoved_();
        if (event.getButton() != pcl::visualization::MouseEvent::LeftButton)
            return;
        if (event.getType() == pcl::visualization::MouseEvent::MouseButtonPress) {
            areaDragging_ = event.getSelectionMode();
        } else if (event.getType() == pcl::visualization::MouseEvent::MouseButtonRelease && areaDragging_) {
            // The release reaches this callback before the area is picked: report the end
            // once the pick is done and its handler has run.
            areaDragging_ = false;
            if (areaDragEnded_)
                QMetaObject::invokeMethod(screen_, areaDragEnded_, Qt::QueuedConnection);
        }
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

    readoutPicker_ = vtkSmartPointer<vtkWorldPointPicker>::New();
    ruler_ = std::make_unique<RulerOverlay>(renderer);
    legend_ = std::make_unique<LegendOverlay>(renderer);
    // A passive observer sees the button events even while the interactor style holds the
    // mouse (it does from press to release), and leaves them to the style unchanged.
    buttonCommand_ = vtkSmartPointer<vtkCallbackCommand>::New();
    buttonCommand_->SetClientData(this);
    buttonCommand_->SetCallback([](vtkObject*, unsigned long event, void* self, void*) {
        static_cast<ViewerScene*>(self)->onButtonEvent(event);
    });
    buttonCommand_->PassiveObserverOn();
    vtkRenderWindowInteractor* interactor = screen_->interactor();
    interactor->AddObserver(vtkCommand::LeftButtonPressEvent, buttonCommand_);
    interactor->AddObserver(vtkCommand::LeftButtonReleaseEvent, buttonCommand_);
    // Before each render the grid labels too close to be read are hidden.
    renderStartCommand_ = vtkSmartPointer<vtkCallbackCommand>::New();
    renderStartCommand_->SetClientData(this);
    renderStartCommand_->SetCallback(
        [](vtkObject*, unsigned long, void* self, void*) { static_cast<ViewerScene*>(self)->spaceGridLabels(); });
    renderer->AddObserver(vtkCommand::StartEvent, renderStartCommand_);
    setOverviewCamera();
    render();
}

void ViewerScene::spaceGridLabels()
{
    if (gridLabels_.empty())
        return;
    vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
    const int* size = renderer->GetSize();
    bool anyShown = false;
    double last[2] = {0, 0};
    for (const auto& label : gridLabels_) {
        const double* p = label->GetPosition();
        renderer->SetWorldPoint(p[0], p[1], p[2], 1.0);
        renderer->WorldToDisplay();
        const double* d = renderer->GetDisplayPoint();
        const bool inView = d[2] >= 0.0 && d[2] <= 1.0 && d[0] >= 0 && d[1] >= 0 && d[0] <= size[0] && d[1] <= size[1];
        const bool apart = !anyShown || std::hypot(d[0] - last[0], d[1] - last[1]) >= kGridLabelSpacing;
        label->SetVisibility(inView && apart);
        if (inView && apart) {
            anyShown = true;
            last[0] = d[0];
            last[1] = d[1];
        }
    }
}

void ViewerScene::setOverviewCamera()
{
    viewer_->setCameraPosition(kOverviewPosition[0], kOverviewPosition[1], kOverviewPosition[2], 0.0, 0.0, 0.0, 0.0,
                               0.0, 1.0);
}

bool ViewerScene::fitCameraToClouds(const double towardCamera[3])
{
    if (frameCloud_->empty() && selectionCloud_->empty())
        return false;
    Box3 box;
    box.min = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    box.max = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const Cloud* cloud : {frameCloud_.get(), selectionCloud_.get()}) {
        for (const pcl::PointXYZRGB& p : *cloud) {
            const float xyz[3] = {p.x, p.y, p.z};
            for (int i = 0; i < 3; ++i) {
                if (!std::isfinite(xyz[i]))
                    continue;
                box.min[i] = std::min(box.min[i], double(xyz[i]));
                box.max[i] = std::max(box.max[i], double(xyz[i]));
            }
        }
    }
    vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
    if (!renderer)
        return false;
    vtkCamera* camera = renderer->GetActiveCamera();
    const int* size = renderer->GetSize();
    const double aspect = size[0] > 0 && size[1] > 0 ? double(size[0]) / size[1] : 1.0;
    double up[3];
    camera->GetViewUp(up);
    // A camera looking straight down or up keeps its own up vector; any other looks with z up.
    const Vec3 toward{towardCamera[0], towardCamera[1], towardCamera[2]};
    std::optional<CameraPlacement> placement = fitCamera(box, toward, {0.0, 0.0, 1.0}, camera->GetViewAngle(), aspect);
    Vec3 viewUp{0.0, 0.0, 1.0};
    if (!placement) {
        viewUp = {up[0], up[1], up[2]};
        placement = fitCamera(box, toward, viewUp, camera->GetViewAngle(), aspect);
    }
    if (!placement)
        return false;
    camera->SetFocalPoint(placement->focalPoint.data());
    camera->SetPosition(placement->position.data());
    camera->SetViewUp(viewUp.data());
    camera->OrthogonalizeViewUp();
    renderer->ResetCameraClippingRange();
    return true;
}

bool ViewerScene::fitView()
{
    vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
    if (!renderer)
        return false;
    vtkCamera* camera = renderer->GetActiveCamera();
    double position[3], focal[3];
    camera->GetPosition(position);
    camera->GetFocalPoint(focal);
    const double toward[3] = {position[0] - focal[0], position[1] - focal[1], position[2] - focal[2]};
    if (!fitCameraToClouds(toward))
        return false;
    render();
    return true;
}

ViewerScene::~ViewerScene()
{
    if (vtkRenderWindowInteractor* interactor = screen_->interactor())
        interactor->RemoveObserver(buttonCommand_);
    if (vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer())
        renderer->RemoveObserver(renderStartCommand_);
    orientationMarker_->SetEnabled(0);
}

void ViewerScene::onClick(std::function<void(int, int)> handler)
{
    click_ = std::move(handler);
}

void ViewerScene::onAreaDragEnded(std::function<void()> handler)
{
    areaDragEnded_ = std::move(handler);
}

void ViewerScene::onMouseMoved(std::function<void()> handler)
{
    mouseMoved_ = std::move(handler);
}

void ViewerScene::onButtonEvent(unsigned long event)
{
    const int* position = screen_->interactor()->GetEventPosition();
    if (event == vtkCommand::LeftButtonPressEvent) {
        pressPosition_[0] = position[0];
        pressPosition_[1] = position[1];
        return;
    }
    if (std::abs(position[0] - pressPosition_[0]) <= kClickSlackPixels
        && std::abs(position[1] - pressPosition_[1]) <= kClickSlackPixels && click_)
        click_(position[0], position[1]);
}

void ViewerScene::onAreaPicked(std::function<void(const SelectionArea&)> handler)
{
    areaPicked_ = std::move(handler);
}

SelectionArea ViewerScene::areaBetween(const double cornerA[2], const double cornerB[2]) const
{
    vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
    vtkCamera* camera = renderer->GetActiveCamera();
    vtkMatrix4x4* m = camera->GetCompositeProjectionTransformMatrix(renderer->GetTiledAspectRatio(), -1.0, 1.0);
    double matrix[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            matrix[4 * r + c] = m->GetElement(r, c);
    return selectionArea(matrix, renderer->GetOrigin(), renderer->GetSize(), cornerA, cornerB);
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
        removeGridLabels();
        vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
        const Rgb8 text = contrastingTextColour(background_);
        for (const GridLabel& l : measurementGridLabels()) {
            auto label = vtkSmartPointer<vtkBillboardTextActor3D>::New();
            label->SetInput(QCoreApplication::translate("ViewerScene", "%1 m").arg(l.radius).toUtf8().constData());
            label->SetPosition(l.x, l.y, 0.0);
            label->GetTextProperty()->SetFontSize(kGridLabelFontSize);
            label->GetTextProperty()->SetColor(unit(text.r), unit(text.g), unit(text.b));
            label->PickableOff();
            renderer->AddActor(label);
            gridLabels_.push_back(label);
        }
    } else {
        viewer_->removeAllShapes();
        removeGridLabels();
    }
    viewer_->resetCamera();
    render();
}

void ViewerScene::removeGridLabels()
{
    vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
    for (const auto& label : gridLabels_)
        renderer->RemoveActor(label);
    gridLabels_.clear();
}

void ViewerScene::setBackground(Rgb8 colour)
{
    background_ = colour;
    viewer_->setBackgroundColor(unit(colour.r), unit(colour.g), unit(colour.b));
    // Texts already drawn take the colour that reads on the new background.
    const Rgb8 text = contrastingTextColour(colour);
    for (const auto& label : gridLabels_)
        label->GetTextProperty()->SetColor(unit(text.r), unit(text.g), unit(text.b));
    if (viewer_->contains(kReadoutId))
        viewer_->removeShape(kReadoutId);
    render();
}

void ViewerScene::showLegend(const std::optional<ColourLegend>& legend)
{
    legend_->show(legend, contrastingTextColour(background_));
    render();
}

bool ViewerScene::readoutShown() const
{
    const auto shapes = viewer_->getShapeActorMap();
    const auto it = shapes->find(kReadoutId);
    return it != shapes->end() && it->second && it->second->GetVisibility();
}

bool ViewerScene::saveImage(const QString& path, QString* error, bool withReadout)
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = QCoreApplication::translate("ViewerScene", "%1 cannot be written: %2").arg(path, reason);
        return false;
    };
    vtkRenderWindow* window = viewer_->getRenderWindow();
    // The readout is hidden for the image only and shown again on screen afterwards.
    vtkProp* readout = nullptr;
    if (!withReadout && readoutShown())
        readout = viewer_->getShapeActorMap()->find(kReadoutId)->second;
    if (readout)
        readout->SetVisibility(0);
    window->Render();
    auto grab = vtkSmartPointer<vtkWindowToImageFilter>::New();
    grab->SetInput(window);
    grab->SetInputBufferTypeToRGB();
    grab->ReadFrontBufferOff();
    grab->Update();
    if (readout) {
        readout->SetVisibility(1);
        render();
    }
    vtkImageData* pixels = grab->GetOutput();
    int size[3] = {0, 0, 0};
    pixels->GetDimensions(size);
    if (size[0] <= 0 || size[1] <= 0 || pixels->GetNumberOfScalarComponents() != 3)
        return fail(QCoreApplication::translate("ViewerScene", "the view could not be read"));
    // VTK's rows run from the bottom up; an image file's from the top down.
    QImage image(size[0], size[1], QImage::Format_RGB888);
    const auto* data = static_cast<const unsigned char*>(pixels->GetScalarPointer());
    for (int row = 0; row < size[1]; ++row)
        std::copy_n(data + std::size_t(row) * size[0] * 3, std::size_t(size[0]) * 3, image.scanLine(size[1] - 1 - row));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return fail(file.errorString().isEmpty() ? QStringLiteral("PNG") : file.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
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
    showCloud(kSelectionCloudId, selectionCloud_, true, kSelectionPointSize);
    showCloud(kFrameCloudId, frameCloud_, false, pointSize);
    if (fitFramesLeft_ > 0 && fitCameraToClouds(kOverviewPosition.data()))
        --fitFramesLeft_;
    // Fit the depth range to what is shown now: one left from an earlier view (a preset
    // chosen before a clear) or from nearer points would cut the cloud off.
    if (vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer())
        renderer->ResetCameraClippingRange();
    render();
}

namespace {

// Replaces the points, colours and vertex cells of a shown cloud in its own VTK arrays,
// so the actor, its mapper and its shaders stay as they are.
void replaceCloudData(vtkPolyData& data, const ViewerScene::Cloud& cloud, bool uniformBlue, vtkIdTypeArray& offsets,
                      vtkIdTypeArray& connectivity)
{
    const vtkIdType n = static_cast<vtkIdType>(cloud.size());

    vtkPoints* points = data.GetPoints();
    if (!points || points->GetDataType() != VTK_FLOAT) {
        auto fresh = vtkSmartPointer<vtkPoints>::New();
        fresh->SetDataTypeToFloat();
        data.SetPoints(fresh);
        points = fresh;
    }
    points->SetNumberOfPoints(n);
    float* xyz = static_cast<vtkFloatArray*>(points->GetData())->GetPointer(0);

    auto* colours = vtkUnsignedCharArray::SafeDownCast(data.GetPointData()->GetScalars());
    if (!colours || colours->GetNumberOfComponents() != 3) {
        auto fresh = vtkSmartPointer<vtkUnsignedCharArray>::New();
        fresh->SetNumberOfComponents(3);
        data.GetPointData()->SetScalars(fresh);
        colours = fresh;
    }
    colours->SetNumberOfTuples(n);
    unsigned char* rgb = colours->GetPointer(0);

    for (vtkIdType i = 0; i < n; ++i) {
        const pcl::PointXYZRGB& p = cloud[static_cast<std::size_t>(i)];
        xyz[3 * i] = p.x;
        xyz[3 * i + 1] = p.y;
        xyz[3 * i + 2] = p.z;
        rgb[3 * i] = uniformBlue ? 0 : p.r;
        rgb[3 * i + 1] = uniformBlue ? 0 : p.g;
        rgb[3 * i + 2] = uniformBlue ? 255 : p.b;
    }
    points->GetData()->Modified();
    points->Modified();
    colours->Modified();

    // One vertex per point; the identity arrays only change where the count changed.
    if (data.GetVerts()->GetNumberOfCells() != n) {
        const vtkIdType shownOffsets = offsets.GetNumberOfValues();
        offsets.SetNumberOfValues(n + 1);
        for (vtkIdType i = shownOffsets; i <= n; ++i)
            offsets.SetValue(i, i);
        const vtkIdType shownPoints = connectivity.GetNumberOfValues();
        connectivity.SetNumberOfValues(n);
        for (vtkIdType i = shownPoints; i < n; ++i)
            connectivity.SetValue(i, i);
        data.GetVerts()->SetData(&offsets, &connectivity);
        data.GetVerts()->Modified();
    }
    data.Modified();
}

} // namespace

void ViewerScene::showCloud(const char* id, const Cloud::Ptr& cloud, bool uniformBlue, int pointSize)
{
    CloudArrays& arrays = cloud == frameCloud_ ? *frameArrays_ : *selectionArrays_;
    const auto actors = viewer_->getCloudActorMap();
    const auto shown = actors->find(id);
    vtkPolyData* data = nullptr;
    if (shown != actors->end() && shown->second.actor && shown->second.actor->GetMapper())
        data = vtkPolyData::SafeDownCast(shown->second.actor->GetMapper()->GetInputDataObject(0, 0));
    if (!data) {
        // Not shown yet (first frame, or after a clear): add it with the colour handler
        // the cloud is drawn with.
        viewer_->removePointCloud(id);
        if (uniformBlue) {
            pcl::visualization::PointCloudColorHandlerCustom<pcl::PointXYZRGB> blue(cloud, 0, 0, 255);
            viewer_->addPointCloud(cloud, blue, id);
        } else {
            pcl::visualization::PointCloudColorHandlerRGBField<pcl::PointXYZRGB> colours(cloud);
            viewer_->addPointCloud(cloud, colours, id);
        }
        viewer_->setPointCloudRenderingProperties(PCL_VISUALIZER_POINT_SIZE, pointSize, id);
        // The colours are used as they are; the range only has to be valid, which the one
        // taken from an empty cloud is not.
        const auto added = actors->find(id);
        if (added != actors->end())
            added->second.actor->GetMapper()->SetScalarRange(0, 255);
        arrays.pointSize = pointSize;
        arrays.offsets = vtkSmartPointer<vtkIdTypeArray>::New();
        arrays.connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
        return;
    }
    replaceCloudData(*data, *cloud, uniformBlue, *arrays.offsets, *arrays.connectivity);
    if (arrays.pointSize != pointSize) {
        viewer_->setPointCloudRenderingProperties(PCL_VISUALIZER_POINT_SIZE, pointSize, id);
        arrays.pointSize = pointSize;
    }
}

void ViewerScene::showTrajectory(const std::vector<Eigen::Vector3f>& path, const Eigen::Isometry3d& current)
{
    for (const char* id : {kTrajectoryId, kPoseMarkerId, kHeadingId})
        viewer_->removeShape(id);
    if (path.empty())
        return;
    // The marker grows with the map, which a view of all of it shows from farther away: the
    // path's extent and the scanner's reach around it.
    Eigen::AlignedBox3f box;
    for (const Eigen::Vector3f& p : path)
        box.extend(p);
    constexpr double kReach = 200.0; // [m]
    const double radius = std::max(1.5, 0.01 * (double(box.diagonal().norm()) + kReach));
    const Eigen::Vector3d at = current.translation();
    const Eigen::Vector3d ahead = current * Eigen::Vector3d(5.0 * radius, 0, 0);
    viewer_->addSphere(pcl::PointXYZ(float(at.x()), float(at.y()), float(at.z())), radius, 1.0, 0.2, 0.2,
                       kPoseMarkerId);
    viewer_->addLine(pcl::PointXYZ(float(at.x()), float(at.y()), float(at.z())),
                     pcl::PointXYZ(float(ahead.x()), float(ahead.y()), float(ahead.z())), 1.0, 0.2, 0.2, kHeadingId);
    viewer_->setShapeRenderingProperties(pcl::visualization::PCL_VISUALIZER_LINE_WIDTH, 3, kHeadingId);
    if (path.size() < 2)
        return;
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetNumberOfPoints(static_cast<vtkIdType>(path.size()));
    auto line = vtkSmartPointer<vtkPolyLine>::New();
    line->GetPointIds()->SetNumberOfIds(static_cast<vtkIdType>(path.size()));
    for (std::size_t i = 0; i < path.size(); ++i) {
        points->SetPoint(static_cast<vtkIdType>(i), path[i].x(), path[i].y(), path[i].z());
        line->GetPointIds()->SetId(static_cast<vtkIdType>(i), static_cast<vtkIdType>(i));
    }
    auto cells = vtkSmartPointer<vtkCellArray>::New();
    cells->InsertNextCell(line);
    auto data = vtkSmartPointer<vtkPolyData>::New();
    data->SetPoints(points);
    data->SetLines(cells);
    viewer_->addModelFromPolyData(data, kTrajectoryId);
    viewer_->setShapeRenderingProperties(pcl::visualization::PCL_VISUALIZER_COLOR, 1.0, 0.0, 1.0, kTrajectoryId);
    viewer_->setShapeRenderingProperties(pcl::visualization::PCL_VISUALIZER_LINE_WIDTH, 3, kTrajectoryId);
}

void ViewerScene::clear()
{
    ruler_->hide();
    viewer_->removeAllPointClouds();
    // Nothing is shown any more, so nothing can be picked or measured either.
    frameCloud_->clear();
    selectionCloud_->clear();
    viewer_->removeAllShapes();
    removeGridLabels();
    setOverviewCamera();
    fitFramesLeft_ = kFittedFrames;
    // A drag whose release never arrived (a dialog took the mouse) must not hold frames back.
    areaDragging_ = false;
    render();
}

void ViewerScene::updateReadout()
{
    vtkRenderWindowInteractor* interactor = screen_->interactor();
    vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
    if (!interactor || !renderer)
        return;
    interactor->SetPicker(readoutPicker_);
    const int* position = interactor->GetEventPosition();
    readoutPicker_->Pick(position[0], position[1], 0, renderer);
    double world[3] = {0, 0, 0};
    readoutPicker_->GetPickPosition(world);
    const std::string text = readoutText(world[0], world[1], world[2]).toStdString();
    // In the colour that reads on the background, so it stands out whatever is chosen.
    const Rgb8 c = contrastingTextColour(background_);
    if (viewer_->contains(kReadoutId))
        viewer_->updateText(text, 150, 0, kReadoutFontSize, unit(c.r), unit(c.g), unit(c.b), kReadoutId);
    else
        viewer_->addText(text, 150, 0, kReadoutFontSize, unit(c.r), unit(c.g), unit(c.b), kReadoutId);
}

std::optional<RulerPoint> ViewerScene::snapToCloud(int x, int y) const
{
    vtkRenderer* renderer = viewer_->getRenderWindow()->GetRenderers()->GetFirstRenderer();
    if (!renderer)
        return std::nullopt;
    ViewProjection view;
    const int* size = renderer->GetSize();
    const int* origin = renderer->GetOrigin();
    view.width = size[0];
    view.height = size[1];
    vtkMatrix4x4* m = renderer->GetActiveCamera()->GetCompositeProjectionTransformMatrix(
        renderer->GetTiledAspectRatio(), -1, 1);
    for (int i = 0; i < 16; ++i)
        view.matrix[i] = m->GetElement(i / 4, i % 4);

    const double px = x - origin[0], py = y - origin[1];
    std::vector<SnapCandidate> candidates;
    appendSnapCandidates(*frameCloud_, view, px, py, kSnapRadiusPixels, candidates);
    appendSnapCandidates(*selectionCloud_, view, px, py, kSnapRadiusPixels, candidates, frameCloud_->size());
    const auto chosen = chooseSnapCandidate(candidates);
    if (!chosen)
        return std::nullopt;
    const pcl::PointXYZRGB& p = *chosen < frameCloud_->size() ? (*frameCloud_)[*chosen]
                                                              : (*selectionCloud_)[*chosen - frameCloud_->size()];
    return RulerPoint{p.x, p.y, p.z};
}

void ViewerScene::showRuler(const Ruler& ruler)
{
    ruler_->show(ruler);
    render();
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
