// hvk32-cli: the viewer's work without a window. Each command's options are in its own usage
// text (hvk32-cli COMMAND --help); the overview below names every command.

#include "cli/ExportCommand.h"
#include "cli/FramesCommand.h"
#include "cli/InfoCommand.h"
#include "cli/OdometryCommand.h"
#include "cli/RecordCommand.h"
#include "cli/RenderCommand.h"
#include "cli/ReplayCommand.h"
#include "cli/ServeCommand.h"
#include "cli/SliceCommand.h"
#include "cli/StandardOutput.h"
#include "platform/SignalHandling.h"
#include "version/ProgramVersion.h"
#include "io/OutputFile.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: hvk32-cli COMMAND [options]\n"
    "       hvk32-cli --version\n"
    "\n"
    "Commands:\n"
    "  frames --live        receive data packets and write each revolution frame to stdout\n"
    "  frames --pcap FILE   write the frames the capture player plays from a capture file\n"
    "  info --pcap FILE     write the device-info packets of a capture file, or with --summary\n"
    "                       one line about the whole capture (frames, times, damage, losses)\n"
    "  export --pcap FILE   write the frames of a capture file as points: --csv OUT (one CSV\n"
    "                       file, as the viewer's export), --pcd OUT or --ply OUT (one binary\n"
    "                       PCD or PLY file per frame), --las OUT (one LAS file), --mcap OUT\n"
    "                       (one MCAP file for ROS 2 and Foxglove), --kitti DIR (one KITTI\n"
    "                       file per frame), or --out OUT by its extension\n"
    "  record --out FILE    record the data and telemetry ports into a capture file, without\n"
    "                       capture rights\n"
    "  slice --pcap IN --out OUT\n"
    "                       cut frames of a capture into a capture that plays alone\n"
    "  odometry --pcap FILE --trajectory OUT\n"
    "                       estimate the scanner's motion frame by frame (deskewing, scan-to-map\n"
    "                       registration) and write its pose per frame (TUM or KITTI lines),\n"
    "                       with --map OUT also the registered points as one map\n"
    "  replay --pcap FILE   send a capture's datagrams to loopback or a multicast group, paced\n"
    "                       as recorded, as if the device were on the network\n"
    "  serve --live         serve the live stream to Foxglove over its WebSocket protocol\n"
    "                       (ws://127.0.0.1:8765), or with --pcap FILE a capture paced as recorded\n"
    "  render --pcap FILE --out OUT\n"
    "                       draw a capture's frames without a display: an H.264 video (.mp4), a\n"
    "                       folder of PNG pictures (OUT/) or one picture (.png), with --map the\n"
    "                       map the odometry builds\n"
    "\n"
    "frames, export, slice, odometry and render take a part of a capture by frame, --from N\n"
    "--to M (frames are numbered from 1), or by time, --start S --duration D (seconds from the\n"
    "first record).\n"
    "Run 'hvk32-cli COMMAND --help' for the options of a command.\n";

// Stop signals are caught before main() runs: the program's own initialisers run after every
// library's, so a SIGINT or SIGTERM that arrives once main() has begun ends the run with its
// summary instead of killing it.
[[maybe_unused]] const bool stopSignalsCaught = hvk32::platform::installStopSignalHandling();

} // namespace

int main(int argc, char** argv)
{
    // A FIFO without a reader, or one whose reader lags, is waited for only until a stop signal.
    hvk32::pointfile::OutputFile::setOutputWait(hvk32::platform::waitForWritableUnlessStopped);
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return hvk32::cli::finishStandardOutput(argc < 2 ? 2 : 0);
    }
    if (!std::strcmp(argv[1], "--version")) {
        if (argc > 2) {
            std::fprintf(stderr, "hvk32-cli: unknown option '%s' after --version\n%s", argv[2], kUsage);
            return hvk32::cli::finishStandardOutput(2);
        }
        std::puts(hvk32::programVersionLine("hvk32-cli").c_str());
        return hvk32::cli::finishStandardOutput(0);
    }
    int rc = 2;
    if (!std::strcmp(argv[1], "frames"))
        rc = hvk32::runFramesCommand(argc - 1, argv + 1);
    else if (!std::strcmp(argv[1], "info"))
        rc = hvk32::runInfoCommand(argc - 1, argv + 1);
    else if (!std::strcmp(argv[1], "export"))
        rc = hvk32::runExportCommand(argc - 1, argv + 1);
    else if (!std::strcmp(argv[1], "record"))
        rc = hvk32::runRecordCommand(argc - 1, argv + 1);
    else if (!std::strcmp(argv[1], "slice"))
        rc = hvk32::runSliceCommand(argc - 1, argv + 1);
    else if (!std::strcmp(argv[1], "odometry"))
        rc = hvk32::runOdometryCommand(argc - 1, argv + 1);
    else if (!std::strcmp(argv[1], "replay"))
        rc = hvk32::runReplayCommand(argc - 1, argv + 1);
    else if (!std::strcmp(argv[1], "serve"))
        rc = hvk32::runServeCommand(argc - 1, argv + 1);
    else if (!std::strcmp(argv[1], "render"))
        rc = hvk32::runRenderCommand(argc - 1, argv + 1);
    else
        std::fprintf(stderr, "hvk32-cli: unknown command '%s'\n%s", argv[1], kUsage);
    // Whatever a command wrote to standard output and could not (a help text, a summary).
    return hvk32::cli::finishStandardOutput(rc);
}
