#pragma once
// What every synthetic scene of the substitute scanner offers: a ray caster that returns the
// first and the last echo of one beam. Plain, no I/O.

namespace hvk32::sim {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// One return along a ray: the distance along a unit direction and the return's intensity.
struct Echo {
    double range = 0.0; // [m]; 0 means no return
    int intensity = 0;  // 0..255
    bool hit() const { return range > 0.0; }
};

// The two returns of one firing: `first` is the nearest surface, translucent or not;
// `last` is the nearest opaque surface. They are equal wherever no translucent surface
// lies in front of the opaque one.
struct EchoPair {
    Echo first;
    Echo last;
};

class Scene {
public:
    virtual ~Scene() = default;
    // Casts a ray from `origin` along the unit vector `direction`, both in the scene's frame.
    virtual EchoPair cast(const Vec3& origin, const Vec3& direction) const = 0;
};

} // namespace hvk32::sim
