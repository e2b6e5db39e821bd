#pragma once

namespace hvk32 {

// "render --pcap FILE --out OUT": draws a capture's frames without a display into an H.264
// MP4 video, a folder of PNG pictures or one PNG picture (argv[0] is "render"), with --map the
// map the odometry builds. Exits 1 when the capture cannot be read or an output cannot be
// written, 2 on a bad argument (before any work).
int runRenderCommand(int argc, char** argv);

} // namespace hvk32
