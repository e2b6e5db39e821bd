// hvk32-cli: the viewer's work without a window.
//
//   hvk32-cli frames --live [--data-port N] [--multicast ADDR] [--config HVK321|HVK322]
//                           [--echo 0|1|2] [--count N] [--summary]
//   hvk32-cli frames --pcap FILE [--count N] [--summary]
//   hvk32-cli info --pcap FILE
//   hvk32-cli export --pcap FILE (--csv OUT | --pcd OUT) [--frames N] [--channels LIST]
//                    [--angle-min A] [--angle-max B]
//   hvk32-cli record --out FILE [--data-port N] [--telemetry-port N] [--multicast ADDR]
//                    [--seconds N] [--max-mb N]

#include "cli/ExportCommand.h"
#include "cli/FramesCommand.h"
#include "cli/InfoCommand.h"
#include "cli/RecordCommand.h"
#include "cli/StandardOutput.h"
#include "platform/SignalHandling.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: hvk32-cli COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  frames --live        receive data packets and write each revolution frame to stdout\n"
    "  frames --pcap FILE   write the frames the capture player plays from a capture file\n"
    "  info --pcap FILE     write the device-info packets of a capture file\n"
    "  export --pcap FILE   write the frames of a capture file to a CSV file as the viewer's\n"
    "                       export does, or to one PCD file per frame\n"
    "  record --out FILE    record the data and telemetry ports into a capture file, without\n"
    "                       capture rights\n"
    "\n"
    "Run 'hvk32-cli COMMAND --help' for the options of a command.\n";

} // namespace

int main(int argc, char** argv)
{
    // Before any command opens a socket or a file: a stop signal that arrives during
    // start-up then ends the command in order instead of being lost or killing it.
    hvk32::platform::installStopSignalHandling();
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return hvk32::cli::finishStandardOutput(argc < 2 ? 2 : 0);
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
    else
        std::fprintf(stderr, "hvk32-cli: unknown command '%s'\n%s", argv[1], kUsage);
    // Whatever a command wrote to standard output and could not (a help text, a summary).
    return hvk32::cli::finishStandardOutput(rc);
}
