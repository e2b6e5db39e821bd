// Runs a fuzz target without libFuzzer: over the files named on the command line, then
// over the target's seed inputs and a fixed number of mutations of each (bytes flipped,
// cut short, repeated). Deterministic, so a failure reproduces. `--write-seeds DIR` writes
// the seed inputs into DIR instead, as a corpus for the libFuzzer build of the target.

#include "fuzz/FuzzSeeds.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

constexpr int kMutationsPerSeed = 40;

std::vector<std::uint8_t> mutate(std::vector<std::uint8_t> input, std::mt19937& random)
{
    if (input.empty())
        return input;
    switch (random() % 4) {
    case 0: // flip a few bytes
        for (int i = 0, n = 1 + static_cast<int>(random() % 16); i < n; ++i)
            input[random() % input.size()] = static_cast<std::uint8_t>(random());
        break;
    case 1: // cut short
        input.resize(random() % input.size());
        break;
    case 2: { // repeat a slice somewhere else
        const std::size_t from = random() % input.size();
        const std::size_t length = std::min<std::size_t>(input.size() - from, 1 + random() % 2048);
        const std::vector<std::uint8_t> slice(input.begin() + static_cast<long>(from),
                                              input.begin() + static_cast<long>(from + length));
        input.insert(input.begin() + static_cast<long>(random() % input.size()), slice.begin(), slice.end());
        break;
    }
    default: // overwrite a 32-bit word with an extreme value
        if (input.size() >= 4) {
            const std::uint32_t extremes[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 1248, 1264};
            const std::uint32_t v = extremes[random() % 7];
            const std::size_t at = random() % (input.size() - 3);
            for (int b = 0; b < 4; ++b)
                input[at + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(v >> (8 * b));
        }
        break;
    }
    return input;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
        int n = 0;
        for (const auto& seed : hvk32FuzzSeeds()) {
            std::ofstream out(std::string(argv[2]) + "/seed-" + std::to_string(++n), std::ios::binary);
            out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
            if (!out) {
                std::fprintf(stderr, "cannot write seed %d into %s\n", n, argv[2]);
                return 1;
            }
        }
        std::printf("%d seeds written\n", n);
        return 0;
    }
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++runs;
    }
    std::mt19937 random(12345);
    for (const auto& seed : hvk32FuzzSeeds()) {
        LLVMFuzzerTestOneInput(seed.data(), seed.size());
        ++runs;
        for (int m = 0; m < kMutationsPerSeed; ++m) {
            const auto input = mutate(seed, random);
            LLVMFuzzerTestOneInput(input.data(), input.size());
            ++runs;
        }
    }
    std::printf("%d inputs run\n", runs);
    return 0;
}
