#pragma once

namespace hvk32 {

// "odometry --pcap FILE --trajectory OUT": estimates the scanner's pose at every frame of a
// capture (scan-to-map odometry, odometry/Odometry.h) and writes one TUM or KITTI pose line per
// frame, and with --map a map of every frame's points in the first frame's coordinates (argv[0]
// is "odometry"). Exits 1 when the capture cannot be read or an output cannot be written, 2 on
// a bad argument.
int runOdometryCommand(int argc, char** argv);

} // namespace hvk32
