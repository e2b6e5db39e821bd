// Prints one line per frame of a capture: its number, points, lost packets and the mean
// distance of its points.
//     print_frames hall.pcap [first-channel last-channel]
#include <hvk32/hvk32.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s CAPTURE [FIRST-CHANNEL LAST-CHANNEL]\n", argv[0]);
        return 2;
    }
    try {
        hvk32::Filter filter;
        if (argc == 4)
            filter.channels(std::atoi(argv[2]), std::atoi(argv[3]));
        const hvk32::Capture capture = hvk32::Capture::open(argv[1], filter);
        std::printf("%zu frames\n", capture.size());
        hvk32::Frame frame;
        for (std::size_t k = 0; k < capture.size(); ++k) {
            capture.frame(k, frame);
            double sum = 0.0;
            for (const float d : frame.distance)
                sum += d;
            std::printf("frame %ld: %zu points, %llu lost, mean distance %.3f m\n", frame.number, frame.size(),
                        static_cast<unsigned long long>(frame.lostPackets),
                        frame.size() ? sum / static_cast<double>(frame.size()) : 0.0);
        }
    } catch (const hvk32::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
