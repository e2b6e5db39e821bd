#pragma once
// The colour legend drawn over the 3-D view: the colouring's strip of colours at the right
// edge, its ticks and title in a colour that reads on the background. Its actors belong to
// the renderer directly, so removing the visualizer's shapes and clouds leaves it alone.

#include "view/ColourLegend.h"

#include <vtkSmartPointer.h>

#include <QStringList>

#include <optional>
#include <vector>

class vtkActor2D;
class vtkPolyData;
class vtkRenderer;
class vtkTextActor;

namespace hvk32 {

class LegendOverlay {
public:
    explicit LegendOverlay(vtkRenderer* renderer);
    ~LegendOverlay();
    LegendOverlay(const LegendOverlay&) = delete;
    LegendOverlay& operator=(const LegendOverlay&) = delete;

    // Draws `legend` (nothing hides it) with its texts and frame in `textColour`.
    void show(const std::optional<ColourLegend>& legend, Rgb8 textColour);
    bool isShown() const { return shown_; }
    // The texts drawn, title first; empty when hidden.
    QStringList texts() const { return texts_; }

    // Where the strip stands in the view, as shares of its width and height.
    static constexpr double kLeft = LegendPlacement::kLeft, kRight = LegendPlacement::kRight;
    static constexpr double kBottom = LegendPlacement::kBottom, kTop = LegendPlacement::kTop;

private:
    void hide();

    vtkRenderer* renderer_;
    vtkSmartPointer<vtkPolyData> strip_, frame_;
    vtkSmartPointer<vtkActor2D> stripActor_, frameActor_;
    vtkSmartPointer<vtkTextActor> title_;
    std::vector<vtkSmartPointer<vtkTextActor>> ticks_;
    QStringList texts_;
    bool shown_ = false;
};

} // namespace hvk32
