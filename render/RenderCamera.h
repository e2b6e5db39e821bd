#pragma once
// Where a point of the scene falls in a picture: the top view (looking down the z axis, x to
// the right, y up, a given place at the picture's centre and a given scale) and the perspective
// camera of the window (a pinhole at a position looking at a focal point, with an up direction
// and a vertical opening, as a VTK camera maps the scene to the view). Plain maths.

#include "view/CameraFit.h"

namespace hvk32::render {

class RenderCamera {
public:
    // The top view of a width x height picture centred on (cx, cy): the point (x, y) falls on
    // column W/2 + (x - cx)·s and row H/2 − (y - cy)·s, with s = min(W, H) / (2·range) pixels a
    // metre. Higher points lie in front of lower ones.
    static RenderCamera top(int width, int height, double range, double cx = 0.0, double cy = 0.0);
    // A perspective camera; nothing nearer than kNear metres in front of it is drawn.
    static RenderCamera perspective(int width, int height, const Vec3& position, const Vec3& focalPoint,
                                    const Vec3& viewUp, double viewAngleDeg);

    static constexpr double kNear = 0.05; // [m]

    // The point's column and row (pixel (i, j) covers i <= column < i + 1, j <= row < j + 1) and
    // its depth (smaller is nearer). False when the camera does not see it: behind or too near.
    bool project(float x, float y, float z, float& column, float& row, float& depth) const
    {
        const float w = m_[2][0] * x + m_[2][1] * y + m_[2][2] * z + m_[2][3];
        if (!(w >= kNearF))
            return false;
        const float inverse = 1.0f / w;
        column = (m_[0][0] * x + m_[0][1] * y + m_[0][2] * z + m_[0][3]) * inverse;
        row = (m_[1][0] * x + m_[1][1] * y + m_[1][2] * z + m_[1][3]) * inverse;
        depth = m_[3][0] * x + m_[3][1] * y + m_[3][2] * z + m_[3][3];
        return true;
    }

    int width() const { return width_; }
    int height() const { return height_; }
    bool isTop() const { return top_; }

private:
    static constexpr float kNearF = static_cast<float>(kNear);
    // Rows: column·w, row·w, w and depth as affine functions of (x, y, z, 1). The top view's w
    // is 1, so its test against kNear always passes.
    float m_[4][4] = {};
    int width_ = 0, height_ = 0;
    bool top_ = false;
};

} // namespace hvk32::render
