#pragma once

namespace hvk32 {

// "frames": writes every frame of a live stream or of a capture file to stdout
// (argv[0] is "frames").
int runFramesCommand(int argc, char** argv);

} // namespace hvk32
