// Runs the adapter recorder (the capture used where the account has capture rights) on one
// adapter for a while, so its cost can be measured beside the socket recorder's on the same
// stream:
//
//   hvk32-bench-adapter-record --device lo --port N --out FILE --seconds S
//
// Ends after S seconds or on SIGINT/SIGTERM and prints the frames it wrote and the frames the
// adapter's capture buffer dropped.

#include "receivers/CaptureRecorder.h"
#include "platform/SignalHandling.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    hvk32::platform::installStopSignalHandling();
    std::string device = "lo", port = "2368", out = "adapter.pcap";
    double seconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--device"))
            device = argv[i + 1];
        else if (!std::strcmp(argv[i], "--port"))
            port = argv[i + 1];
        else if (!std::strcmp(argv[i], "--out"))
            out = argv[i + 1];
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
    }
    hvk32::CaptureRecorder recorder;
    std::string error;
    if (!recorder.start({out, port, device}, &error)) {
        std::fprintf(stderr, "hvk32-bench-adapter-record: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "hvk32-bench-adapter-record: recording %s, filter \"port %s\"\n", device.c_str(), port.c_str());
    hvk32::platform::waitForStopSignal(static_cast<int>(seconds * 1000));
    const auto frames = recorder.framesWritten();
    const auto drops = recorder.bufferDrops();
    recorder.stop();
    std::printf("adapter recorder: %llu frames written, %llu dropped by the capture buffer%s%s\n",
                static_cast<unsigned long long>(frames), static_cast<unsigned long long>(drops),
                recorder.workerError().empty() ? "" : ", failed: ", recorder.workerError().c_str());
    return 0;
}
