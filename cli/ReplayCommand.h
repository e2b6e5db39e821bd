#pragma once

namespace hvk32 {

// "replay --pcap FILE": sends a capture's datagrams as the device sent them (argv[0] is
// "replay").
int runReplayCommand(int argc, char** argv);

} // namespace hvk32
