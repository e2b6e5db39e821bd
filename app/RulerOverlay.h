#pragma once
// What the ruler draws in the 3-D view: a marker on each picked point, the line between
// them and a label with the distances beside the line's middle. Its actors belong to the
// renderer directly, so removing the visualizer's shapes (the grid) leaves it alone.

#include "view/Ruler.h"

#include <vtkSmartPointer.h>

#include <QString>

class vtkActor;
class vtkBillboardTextActor3D;
class vtkPolyData;
class vtkRenderer;

namespace hvk32 {

class RulerOverlay {
public:
    explicit RulerOverlay(vtkRenderer* renderer);
    ~RulerOverlay();
    RulerOverlay(const RulerOverlay&) = delete;
    RulerOverlay& operator=(const RulerOverlay&) = delete;

    // Draws the ruler's points: nothing, the first point's marker, or the whole measurement.
    void show(const Ruler& ruler);
    void hide();

    bool isShown() const { return shown_; }
    // The label's text; empty unless a measurement is drawn.
    QString labelText() const { return labelText_; }

private:
    vtkRenderer* renderer_;
    vtkSmartPointer<vtkPolyData> geometry_;
    vtkSmartPointer<vtkActor> line_;
    vtkSmartPointer<vtkBillboardTextActor3D> label_;
    bool shown_ = false;
    QString labelText_;
};

} // namespace hvk32
