#pragma once
// What draws the 3-D view: a graphics processor or the CPU (Mesa's llvmpipe and softpipe
// under Xvfb, in virtual machines and on remote desktops). On the CPU, multisampling costs
// more than the rest of a frame of points together, so the view draws without it there.

#include <QString>

namespace hvk32 {

// True when the OpenGL renderer's name is one of the software rasterisers.
bool isSoftwareRendererName(const QString& renderer);

// Creates a short-lived OpenGL context with the default surface format and reads its
// renderer's name; empty when no context can be made.
QString openGlRendererName();

// Samples per pixel for the view: none on a software renderer, VTK's default otherwise.
int viewMultiSamples(const QString& renderer, int defaultSamples);

} // namespace hvk32
