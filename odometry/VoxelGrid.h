#pragma once
// Integer voxel coordinates and a flat, open-addressed index from voxel to a number. The index
// keeps its storage between uses and allocates nothing per point; its order of insertion alone
// decides what it holds, so results never depend on addresses.

#include <cmath>
#include <cstdint>
#include <vector>

namespace hvk32::odometry {

struct Voxel {
    std::int32_t x = 0, y = 0, z = 0;
    bool operator==(const Voxel& o) const { return x == o.x && y == o.y && z == o.z; }
};

inline Voxel voxelOf(double x, double y, double z, double inverseSize)
{
    return {static_cast<std::int32_t>(std::floor(x * inverseSize)), static_cast<std::int32_t>(std::floor(y * inverseSize)),
            static_cast<std::int32_t>(std::floor(z * inverseSize))};
}

// Voxel -> value (0 .. 2^31 - 1). Linear probing over a power-of-two table at most half full.
class VoxelIndex {
public:
    // Empties the index and makes room for `expected` voxels without growing.
    void reset(std::size_t expected);
    // The value of `v`, or -1.
    std::int32_t find(const Voxel& v) const
    {
        if (slots_.empty())
            return -1;
        for (std::size_t s = hashOf(v) & mask_;; s = (s + 1) & mask_) {
            const Slot& slot = slots_[s];
            if (slot.value < 0)
                return -1;
            if (slot.key == v)
                return slot.value;
        }
    }
    // Inserts v -> value unless v is there; returns the value v has afterwards.
    std::int32_t insert(const Voxel& v, std::int32_t value);
    std::size_t size() const { return size_; }

private:
    struct Slot {
        Voxel key;
        std::int32_t value = -1;
    };
    static std::size_t hashOf(const Voxel& v)
    {
        // Three large primes, as spatial hashing commonly uses.
        return static_cast<std::size_t>(static_cast<std::uint32_t>(v.x) * 73856093u
                                        ^ static_cast<std::uint32_t>(v.y) * 19349669u
                                        ^ static_cast<std::uint32_t>(v.z) * 83492791u);
    }
    void grow();

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

} // namespace hvk32::odometry
