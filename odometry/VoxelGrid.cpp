#include "odometry/VoxelGrid.h"

namespace hvk32::odometry {

void VoxelIndex::reset(std::size_t expected)
{
    std::size_t capacity = 16;
    while (capacity < expected * 2)
        capacity *= 2;
    if (slots_.size() < capacity)
        slots_.resize(capacity);
    for (Slot& s : slots_)
        s.value = -1;
    mask_ = slots_.size() - 1;
    size_ = 0;
}

std::int32_t VoxelIndex::insert(const Voxel& v, std::int32_t value)
{
    if (slots_.empty() || (size_ + 1) * 2 > slots_.size())
        grow();
    for (std::size_t s = hashOf(v) & mask_;; s = (s + 1) & mask_) {
        Slot& slot = slots_[s];
        if (slot.value < 0) {
            slot.key = v;
            slot.value = value;
            ++size_;
            return value;
        }
        if (slot.key == v)
            return slot.value;
    }
}

void VoxelIndex::grow()
{
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    mask_ = slots_.size() - 1;
    size_ = 0;
    // Re-inserted in slot order: the same sequence of inserts always gives the same table.
    for (const Slot& s : old)
        if (s.value >= 0)
            insert(s.key, s.value);
}

} // namespace hvk32::odometry
