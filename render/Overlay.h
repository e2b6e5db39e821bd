#pragma once
// What a picture shows over its points: lines of text at the upper left (the frame number,
// the capture time) and the colouring's legend at the right edge, where the window draws
// it, in the window's font (VTK's) and sizes, in black or white as reads on the background,
// with a rim of the background's colour around the text so it reads over points too.

#include "view/ColourLegend.h"
#include "render/Picture.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace hvk32::render {

class Overlay {
public:
    static constexpr int kTextFontSize = 15;
    static constexpr int kMargin = 10; // [px] between the text and the picture's edges

    // An overlay for pictures of width x height on `background`, with `legend` (none: no legend).
    Overlay(int width, int height, Rgb8 background, const std::optional<ColourLegend>& legend);
    ~Overlay();
    Overlay(const Overlay&) = delete;
    Overlay& operator=(const Overlay&) = delete;

    // Draws the legend and `lines` (top to bottom) over `picture`.
    void draw(Picture& picture, const QStringList& lines);

private:
    // Text drawn once: its coverage of each pixel (0..255), rows from the top.
    struct Glyphs {
        int width = 0, height = 0;
        std::vector<std::uint8_t> alpha;
    };
    Glyphs render(const QString& text, int fontSize) const;
    void blend(Picture& picture, const Glyphs& glyphs, int left, int top) const;
    void blend(Picture& picture, const Glyphs& glyphs, int left, int top, Rgb8 colour) const;
    void drawLegend(Picture& picture) const;

    int width_, height_;
    Rgb8 background_;
    Rgb8 textColour_;
    std::optional<ColourLegend> legend_;
    // The legend's labels, rendered once, with where they go.
    struct Placed {
        Glyphs glyphs;
        int left, top;
    };
    std::vector<Placed> legendTexts_;
    int lineHeight_ = 0;
};

} // namespace hvk32::render
