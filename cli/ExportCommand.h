#pragma once

namespace hvk32 {

// "export --pcap FILE --csv OUT | --pcd OUT": plays a capture file without pacing and writes
// every frame the player emits, as the window's CSV export would, or as one PCD file per
// frame (argv[0] is "export"). Exits 1 when the capture cannot be read as one at all or the
// output cannot be written, 2 on a bad argument.
int runExportCommand(int argc, char** argv);

} // namespace hvk32
