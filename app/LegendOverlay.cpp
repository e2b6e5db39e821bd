#include "app/LegendOverlay.h"

#include <vtkActor2D.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCoordinate.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper2D.h>
#include <vtkProperty2D.h>
#include <vtkRenderer.h>
#include <vtkTextActor.h>
#include <vtkTextProperty.h>
#include <vtkUnsignedCharArray.h>

namespace hvk32 {

namespace {

constexpr int kTickFontSize = LegendPlacement::kTickFontSize;
constexpr int kTitleFontSize = LegendPlacement::kTitleFontSize;
constexpr double kTickGap = LegendPlacement::kTickGap; // between the strip and its tick labels

vtkSmartPointer<vtkActor2D> viewportActor(vtkPolyData* data)
{
    auto coordinate = vtkSmartPointer<vtkCoordinate>::New();
    coordinate->SetCoordinateSystemToNormalizedViewport();
    auto mapper = vtkSmartPointer<vtkPolyDataMapper2D>::New();
    mapper->SetInputData(data);
    mapper->SetTransformCoordinate(coordinate);
    auto actor = vtkSmartPointer<vtkActor2D>::New();
    actor->SetMapper(mapper);
    actor->PickableOff();
    return actor;
}

void placeText(vtkTextActor& text, double x, double y, Rgb8 colour, int size)
{
    text.GetPositionCoordinate()->SetCoordinateSystemToNormalizedViewport();
    text.GetPositionCoordinate()->SetValue(x, y);
    vtkTextProperty* p = text.GetTextProperty();
    p->SetColor(colour.r / 255.0, colour.g / 255.0, colour.b / 255.0);
    p->SetFontSize(size);
    p->SetJustificationToRight();
    p->SetVerticalJustificationToCentered();
    text.PickableOff();
}

} // namespace

LegendOverlay::LegendOverlay(vtkRenderer* renderer) : renderer_(renderer)
{
    strip_ = vtkSmartPointer<vtkPolyData>::New();
    frame_ = vtkSmartPointer<vtkPolyData>::New();
    stripActor_ = viewportActor(strip_);
    frameActor_ = viewportActor(frame_);
    frameActor_->GetProperty()->SetLineWidth(1.0f);
    title_ = vtkSmartPointer<vtkTextActor>::New();
}

LegendOverlay::~LegendOverlay()
{
    hide();
}

void LegendOverlay::hide()
{
    if (!shown_)
        return;
    renderer_->RemoveActor2D(stripActor_);
    renderer_->RemoveActor2D(frameActor_);
    renderer_->RemoveActor2D(title_);
    for (const auto& tick : ticks_)
        renderer_->RemoveActor2D(tick);
    ticks_.clear();
    texts_.clear();
    shown_ = false;
}

void LegendOverlay::show(const std::optional<ColourLegend>& legend, Rgb8 textColour)
{
    hide();
    if (!legend || legend->cells.empty())
        return;

    // One quad per colour cell, stacked from the bottom of the strip to its top.
    const auto n = static_cast<vtkIdType>(legend->cells.size());
    auto points = vtkSmartPointer<vtkPoints>::New();
    auto quads = vtkSmartPointer<vtkCellArray>::New();
    auto colours = vtkSmartPointer<vtkUnsignedCharArray>::New();
    colours->SetNumberOfComponents(3);
    const double step = (kTop - kBottom) / double(n);
    for (vtkIdType i = 0; i < n; ++i) {
        const double y0 = kBottom + i * step, y1 = kBottom + (i + 1) * step;
        const vtkIdType first = points->InsertNextPoint(kLeft, y0, 0);
        points->InsertNextPoint(kRight, y0, 0);
        points->InsertNextPoint(kRight, y1, 0);
        points->InsertNextPoint(kLeft, y1, 0);
        const vtkIdType quad[4] = {first, first + 1, first + 2, first + 3};
        quads->InsertNextCell(4, quad);
        const Rgb8 c = legend->cells[static_cast<std::size_t>(i)];
        colours->InsertNextTuple3(c.r, c.g, c.b);
    }
    strip_->SetPoints(points);
    strip_->SetPolys(quads);
    strip_->GetCellData()->SetScalars(colours);
    strip_->Modified();

    // A frame in the text colour, and a line between the bands of a banded legend, keep a
    // cell of the background's colour visible as a box of its own.
    auto corners = vtkSmartPointer<vtkPoints>::New();
    corners->InsertNextPoint(kLeft, kBottom, 0);
    corners->InsertNextPoint(kRight, kBottom, 0);
    corners->InsertNextPoint(kRight, kTop, 0);
    corners->InsertNextPoint(kLeft, kTop, 0);
    auto outline = vtkSmartPointer<vtkCellArray>::New();
    const vtkIdType loop[5] = {0, 1, 2, 3, 0};
    outline->InsertNextCell(5, loop);
    if (legend->banded) {
        for (vtkIdType i = 1; i < n; ++i) {
            const double y = kBottom + i * step;
            const vtkIdType line[2] = {corners->InsertNextPoint(kLeft, y, 0), corners->InsertNextPoint(kRight, y, 0)};
            outline->InsertNextCell(2, line);
        }
    }
    frame_->SetPoints(corners);
    frame_->SetLines(outline);
    frame_->Modified();
    frameActor_->GetProperty()->SetColor(textColour.r / 255.0, textColour.g / 255.0, textColour.b / 255.0);

    placeText(*title_, kRight, kTop + LegendPlacement::kTitleRaise, textColour, kTitleFontSize);
    title_->SetInput(legend->title.toUtf8().constData());
    texts_.push_back(legend->title);
    for (const LegendTick& tick : legend->ticks) {
        auto text = vtkSmartPointer<vtkTextActor>::New();
        placeText(*text, kLeft - kTickGap, kBottom + tick.position * (kTop - kBottom), textColour, kTickFontSize);
        text->SetInput(tick.label.toUtf8().constData());
        ticks_.push_back(text);
        texts_.push_back(tick.label);
    }

    renderer_->AddActor2D(stripActor_);
    renderer_->AddActor2D(frameActor_);
    renderer_->AddActor2D(title_);
    for (const auto& tick : ticks_)
        renderer_->AddActor2D(tick);
    shown_ = true;
}

} // namespace hvk32
