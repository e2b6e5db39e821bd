#include "app/RulerOverlay.h"

#include <vtkActor.h>
#include <vtkBillboardTextActor3D.h>
#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTextProperty.h>

namespace hvk32 {

namespace {

// Magenta: no colour mode of the cloud uses it, so the ruler stands out in every mode.
constexpr double kRulerColour[3] = {1.0, 0.0, 1.0};
constexpr float kMarkerSize = 9.0f;  // [px]
constexpr float kLineWidth = 2.0f;   // [px]
constexpr int kLabelFontSize = 16;
constexpr int kLabelOffset[2] = {12, 12}; // [px] right of and above the line's middle

} // namespace

RulerOverlay::RulerOverlay(vtkRenderer* renderer) : renderer_(renderer)
{
    geometry_ = vtkSmartPointer<vtkPolyData>::New();
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetNumberOfPoints(2);
    geometry_->SetPoints(points);
    geometry_->SetVerts(vtkSmartPointer<vtkCellArray>::New());
    geometry_->SetLines(vtkSmartPointer<vtkCellArray>::New());

    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    mapper->SetInputData(geometry_);
    line_ = vtkSmartPointer<vtkActor>::New();
    line_->SetMapper(mapper);
    line_->GetProperty()->SetColor(kRulerColour[0], kRulerColour[1], kRulerColour[2]);
    line_->GetProperty()->SetPointSize(kMarkerSize);
    line_->GetProperty()->SetLineWidth(kLineWidth);
    line_->GetProperty()->SetLighting(false);
    line_->PickableOff();

    label_ = vtkSmartPointer<vtkBillboardTextActor3D>::New();
    vtkTextProperty* text = label_->GetTextProperty();
    text->SetFontSize(kLabelFontSize);
    text->SetColor(1.0, 1.0, 1.0);
    text->SetBackgroundColor(0.25, 0.0, 0.25);
    text->SetBackgroundOpacity(0.8);
    text->SetFrame(true);
    text->SetFrameColor(kRulerColour[0], kRulerColour[1], kRulerColour[2]);
    text->SetJustificationToLeft();
    text->SetVerticalJustificationToBottom();
    label_->SetDisplayOffset(kLabelOffset[0], kLabelOffset[1]);
    label_->PickableOff();
}

RulerOverlay::~RulerOverlay()
{
    hide();
}

void RulerOverlay::show(const Ruler& ruler)
{
    if (ruler.pointCount() == 0) {
        hide();
        return;
    }
    const auto m = ruler.measurement();
    const RulerPoint a = ruler.first();
    const RulerPoint b = m ? m->to : a;
    vtkPoints* points = geometry_->GetPoints();
    points->SetPoint(0, a.x, a.y, a.z);
    points->SetPoint(1, b.x, b.y, b.z);
    points->Modified();

    auto verts = vtkSmartPointer<vtkCellArray>::New();
    auto lines = vtkSmartPointer<vtkCellArray>::New();
    const vtkIdType ends[2] = {0, 1};
    verts->InsertNextCell(1, &ends[0]);
    if (m) {
        verts->InsertNextCell(1, &ends[1]);
        lines->InsertNextCell(2, ends);
    }
    geometry_->SetVerts(verts);
    geometry_->SetLines(lines);

    if (!shown_) {
        renderer_->AddActor(line_);
        shown_ = true;
    }
    if (m) {
        labelText_ = rulerLabelText(*m);
        label_->SetInput(labelText_.toUtf8().constData());
        label_->SetPosition((a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2);
        if (!renderer_->HasViewProp(label_))
            renderer_->AddActor(label_);
    } else {
        labelText_.clear();
        renderer_->RemoveActor(label_);
    }
}

void RulerOverlay::hide()
{
    if (!shown_)
        return;
    renderer_->RemoveActor(line_);
    renderer_->RemoveActor(label_);
    labelText_.clear();
    shown_ = false;
}

} // namespace hvk32
