// Runs a fuzz target without libFuzzer: over the files named on the command line, then
// over a fixed number of pseudo-random inputs built from valid data packets with bytes
// flipped. Deterministic, so a failure reproduces.

#include "acquisition/DataPacket.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }

    using namespace hvk32::datapacket;
    std::mt19937 random(12345);
    const int runs = 300;
    for (int run = 0; run < runs; ++run) {
        std::vector<std::uint8_t> input{static_cast<std::uint8_t>(random())};
        const int packets = 1 + static_cast<int>(random() % 400);
        std::uint16_t azimuth = static_cast<std::uint16_t>(random() % 36000);
        for (int k = 0; k < packets; ++k) {
            std::vector<std::uint8_t> p(kPacketSize);
            for (auto& b : p)
                b = static_cast<std::uint8_t>(random());
            for (int b = 0; b < kBlocksPerPacket; ++b) {
                setBlockFlag(p.data(), b); // FF is odd: the chunk is a full-size datagram
                // Mostly a turning scanner, sometimes jumps and out-of-range values.
                azimuth = static_cast<std::uint16_t>(random() % 16 == 0 ? random() : (azimuth + 20) % 36000);
                setAzimuthRaw(p.data(), b, azimuth);
            }
            if (random() % 8 == 0)
                p[0] = static_cast<std::uint8_t>(random() & 0xFE); // a short chunk instead
            input.insert(input.end(), p.begin(), p.end());
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%d inputs run\n", runs + argc - 1);
    return 0;
}
