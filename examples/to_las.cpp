// Writes frames of a capture into a LAS file (or any format its extension names).
//     to_las hall.pcap scan.las [first last]     (frames counted from 0, both included)
#include <hvk32/hvk32.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: %s CAPTURE OUT.las [FIRST LAST]\n", argv[0]);
        return 2;
    }
    try {
        const hvk32::Capture capture = hvk32::Capture::open(argv[1]);
        if (argc == 5)
            hvk32::write(argv[2], capture, std::strtoul(argv[3], nullptr, 10), std::strtoul(argv[4], nullptr, 10));
        else
            hvk32::write(argv[2], capture);
    } catch (const hvk32::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
