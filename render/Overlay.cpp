#include "render/Overlay.h"

#include <vtkAutoInit.h>
#include <vtkTextRenderer.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkStdString.h>
#include <vtkTextProperty.h>

#include <algorithm>
#include <cmath>

// The text renderer the window's text actors use (its glyphs reach beyond Latin-1: "–", "−").
VTK_MODULE_INIT(vtkRenderingFreeType);

namespace hvk32::render {

namespace {

// The window's views are drawn at 72 dots an inch: a font size is its height in pixels.
constexpr int kDpi = 72;

} // namespace

Overlay::Overlay(int width, int height, Rgb8 background, const std::optional<ColourLegend>& legend)
    : width_(width), height_(height), background_(background), textColour_(contrastingTextColour(background)),
      legend_(legend)
{
    lineHeight_ = std::max(render(QStringLiteral("Ag"), kTextFontSize).height, kTextFontSize) + 4;
    if (!legend_ || legend_->cells.empty()) {
        legend_.reset();
        return;
    }
    using P = LegendPlacement;
    // Labels are right-aligned to their anchor and centred on it in height, as the window's.
    auto place = [this](const QString& text, int size, double x, double y) {
        Placed p{render(text, size), 0, 0};
        p.left = static_cast<int>(std::lround(x * width_)) - p.glyphs.width;
        p.top = static_cast<int>(std::lround((1.0 - y) * height_)) - p.glyphs.height / 2;
        legendTexts_.push_back(std::move(p));
    };
    place(legend_->title, P::kTitleFontSize, P::kRight, P::kTop + P::kTitleRaise);
    for (const LegendTick& tick : legend_->ticks)
        place(tick.label, P::kTickFontSize, P::kLeft - P::kTickGap, P::kBottom + tick.position * (P::kTop - P::kBottom));
}

Overlay::~Overlay() = default;

Overlay::Glyphs Overlay::render(const QString& text, int fontSize) const
{
    Glyphs g;
    if (text.isEmpty())
        return g;
    vtkNew<vtkTextProperty> property;
    property->SetFontFamilyToArial();
    property->SetFontSize(fontSize);
    property->SetColor(1.0, 1.0, 1.0);
    vtkNew<vtkImageData> image;
    int dims[2] = {0, 0};
    vtkTextRenderer* renderer = vtkTextRenderer::GetInstance();
    if (!renderer
        || !renderer->RenderString(property.GetPointer(), vtkStdString(text.toStdString()), image.GetPointer(), dims,
                                   kDpi)
        || dims[0] <= 0 || dims[1] <= 0)
        return g;
    // The image is RGBA with its first row at the bottom; the text fills its lower left.
    const int* extent = image->GetExtent();
    const int imageWidth = extent[1] - extent[0] + 1, imageHeight = extent[3] - extent[2] + 1;
    g.width = std::min(dims[0], imageWidth);
    g.height = std::min(dims[1], imageHeight);
    g.alpha.resize(static_cast<std::size_t>(g.width) * g.height);
    const auto* data = static_cast<const std::uint8_t*>(image->GetScalarPointer());
    const int components = image->GetNumberOfScalarComponents();
    for (int y = 0; y < g.height; ++y) {
        const std::uint8_t* source = data + static_cast<std::size_t>(y) * imageWidth * components;
        std::uint8_t* target = g.alpha.data() + static_cast<std::size_t>(g.height - 1 - y) * g.width;
        for (int x = 0; x < g.width; ++x)
            target[x] = source[x * components + components - 1];
    }
    return g;
}

void Overlay::blend(Picture& picture, const Glyphs& g, int left, int top) const
{
    // A rim of the background's colour first, so the text reads over points too.
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx || dy)
                blend(picture, g, left + dx, top + dy, background_);
    blend(picture, g, left, top, textColour_);
}

void Overlay::blend(Picture& picture, const Glyphs& g, int left, int top, Rgb8 colour) const
{
    const int c[3] = {colour.r, colour.g, colour.b};
    for (int y = std::max(0, -top); y < g.height && top + y < picture.height; ++y) {
        std::uint8_t* row = picture.row(top + y);
        const std::uint8_t* alpha = g.alpha.data() + static_cast<std::size_t>(y) * g.width;
        for (int x = std::max(0, -left); x < g.width && left + x < picture.width; ++x) {
            const int a = alpha[x];
            if (a == 0)
                continue;
            std::uint8_t* p = row + (left + x) * 3;
            for (int k = 0; k < 3; ++k)
                p[k] = static_cast<std::uint8_t>((c[k] * a + p[k] * (255 - a) + 127) / 255);
        }
    }
}

void Overlay::drawLegend(Picture& picture) const
{
    using P = LegendPlacement;
    const int x0 = static_cast<int>(std::lround(P::kLeft * width_));
    const int x1 = static_cast<int>(std::lround(P::kRight * width_));
    const int yTop = static_cast<int>(std::lround((1.0 - P::kTop) * height_));
    const int yBottom = static_cast<int>(std::lround((1.0 - P::kBottom) * height_));
    const int rows = yBottom - yTop;
    if (rows <= 0 || x1 <= x0)
        return;
    const auto n = static_cast<int>(legend_->cells.size());
    auto set = [&picture](int x, int y, Rgb8 c) {
        if (x < 0 || y < 0 || x >= picture.width || y >= picture.height)
            return;
        std::uint8_t* p = picture.row(y) + x * 3;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    };
    // Cells from the bottom of the strip up: the cell of a row is where its middle falls.
    for (int y = yTop; y < yBottom; ++y) {
        const double up = (yBottom - y - 0.5) / rows;
        const int cell = std::min(n - 1, static_cast<int>(up * n));
        for (int x = x0; x < x1; ++x)
            set(x, y, legend_->cells[static_cast<std::size_t>(cell)]);
    }
    // The frame, and a line between bands, in the text colour.
    for (int x = x0; x <= x1; ++x) {
        set(x, yTop, textColour_);
        set(x, yBottom, textColour_);
    }
    for (int y = yTop; y <= yBottom; ++y) {
        set(x0, y, textColour_);
        set(x1, y, textColour_);
    }
    if (legend_->banded)
        for (int k = 1; k < n; ++k) {
            const int y = yBottom - static_cast<int>(std::lround(static_cast<double>(k) * rows / n));
            for (int x = x0; x <= x1; ++x)
                set(x, y, textColour_);
        }
    for (const Placed& p : legendTexts_)
        blend(picture, p.glyphs, p.left, p.top);
}

void Overlay::draw(Picture& picture, const QStringList& lines)
{
    if (legend_)
        drawLegend(picture);
    int top = kMargin;
    for (const QString& line : lines) {
        blend(picture, render(line, kTextFontSize), kMargin, top);
        top += lineHeight_;
    }
}

} // namespace hvk32::render
