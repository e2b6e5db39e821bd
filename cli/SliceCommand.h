#pragma once

namespace hvk32 {

// "slice --pcap IN --out OUT": frames of a capture into a capture of their own (argv[0] is
// "slice").
int runSliceCommand(int argc, char** argv);

} // namespace hvk32
