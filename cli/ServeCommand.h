#pragma once

namespace hvk32 {

// "serve": serves the live stream or a capture to Foxglove over its WebSocket protocol
// (argv[0] is "serve").
int runServeCommand(int argc, char** argv);

} // namespace hvk32
