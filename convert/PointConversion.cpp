#include "convert/PointConversion.h"

#include "platform/VectorClones.h"
#include "records/AngleValues.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>

namespace hvk32 {

namespace {

constexpr double kPi = 3.14159;                  // the value of pi the conversion has always used
constexpr double kRadiansPerDegree = kPi / 180.0;
constexpr double kBeamOffsetCm = 4.94;           // emitter offset from the rotation axis [cm]
constexpr double kBeamOffsetAngle = 12.98;       // the offset lies this far behind the horizontal angle [deg]
constexpr double kCentimetresPerMetre = 100.0;
constexpr double kCountsPerCentimetre = 2.5;     // once the device's mode is known
constexpr float kCentimetresPerCount = 0.25f;    // before that
constexpr float kMaxVerticalDeviation = 1.5f;    // [deg], beyond it the device table is not trusted
constexpr double kMicrosecondsPerSecond = 1e6;   // time stamps count microseconds within the hour
constexpr std::uint64_t kTimestampWrap = 3600000000u;

const char* const kVariant260 = "V2.6.0";
const char* const kVariant261 = "V2.6.1";

bool isOneOf(int channel, std::initializer_list<int> channels)
{
    return std::find(channels.begin(), channels.end(), channel) != channels.end();
}

// Which adjustment/offset pair (0..3) turns channel c, and in which direction.
struct AngleTerm {
    int pair;
    double sign;
};

AngleTerm angleTermOf(int degreeMode, bool variant261, int c)
{
    const bool even = c % 2 == 0;
    if (degreeMode != 1) {
        if (!variant261)
            return {0, even ? 1.0 : -1.0};
        return {c % 4 < 2 ? 1 : 0, 1.0};
    }
    if (!variant261) {
        if (isOneOf(c, {10, 14, 18, 22}))
            return {0, 1.0};
        if (isOneOf(c, {11, 15, 19, 23}))
            return {0, -1.0};
        return {1, even ? 1.0 : -1.0};
    }
    if (isOneOf(c, {5, 13, 20, 28}))
        return {1, 1.0};
    if (isOneOf(c, {7, 15, 22, 30}))
        return {0, 1.0};
    if (isOneOf(c, {2, 3, 6, 10, 11, 14, 18, 19, 23, 26, 27, 31}))
        return {2, 1.0};
    return {3, 1.0}; // 0, 1, 4, 8, 9, 12, 16, 17, 21, 24, 25, 29
}

template<typename T>
std::size_t sizeOf(const std::vector<std::vector<T>>& lists, int c)
{
    return static_cast<std::size_t>(c) < lists.size() ? lists[c].size() : 0;
}

// cos and sin of the conversion's radians (kPi) on a grid of 1/32 degree from -180 to 540
// degrees, interpolated linearly between neighbours: off by less than 4e-8, below a float's
// resolution. Cosines and sines lie in two arrays, so that vector loops can gather them.
class TrigTable {
public:
    static constexpr int kStepsPerDegree = 32;
    static constexpr double kFirstDegree = -180.0;
    static constexpr int kEntries = 720 * kStepsPerDegree;

    TrigTable() : cos_(new float[kEntries + 1]), sin_(new float[kEntries + 1])
    {
        for (int i = 0; i <= kEntries; ++i) {
            const double r = (kFirstDegree + static_cast<double>(i) / kStepsPerDegree) * kRadiansPerDegree;
            cos_[i] = static_cast<float>(std::cos(r));
            sin_[i] = static_cast<float>(std::sin(r));
        }
    }

    // Grid position of theta [deg]; inside the grid when 0 <= position < kEntries.
    static double position(double theta) { return (theta - kFirstDegree) * kStepsPerDegree; }
    static bool onGrid(double t) { return (t >= 0.0) & (t < kEntries); }

    // cos and sin of theta [deg]; outside the grid computed directly.
    void lookUp(double theta, float& c, float& s) const
    {
        const double t = position(theta);
        if (!onGrid(t)) {
            direct(theta, c, s);
            return;
        }
        interpolate(t, c, s);
    }
    // cos and sin at grid position t, which must lie on the grid.
    void interpolate(double t, float& c, float& s) const
    {
        const int i = static_cast<int>(t);
        const float f = static_cast<float>(t - i);
        c = cos_[i] + f * (cos_[i + 1] - cos_[i]);
        s = sin_[i] + f * (sin_[i + 1] - sin_[i]);
    }
    static void direct(double theta, float& c, float& s)
    {
        c = static_cast<float>(std::cos(theta * kRadiansPerDegree));
        s = static_cast<float>(std::sin(theta * kRadiansPerDegree));
    }
    const float* cosines() const { return cos_.get(); }
    const float* sines() const { return sin_.get(); }

private:
    std::unique_ptr<float[]> cos_;
    std::unique_ptr<float[]> sin_;
};

const TrigTable& trigTable()
{
    static const TrigTable table;
    return table;
}

template<typename T>
void grow(std::vector<T>& v, std::size_t n)
{
    if (v.size() < n)
        v.resize(n);
}

// What every point of one channel shares, worked out once per frame.
struct ChannelTerms {
    BeamTrig beam;
    double adjust, offset;
    float horizontalPerCm; // Fast: cos(vertical) / 100
    float verticalPerCm;   // Fast: sin(vertical) / 100
};

// The horizontal angle of a point before the wrap [deg]: its azimuth turned by the channel's
// adjustment, then by its offset, in this order (the sums round as the outputs always have).
inline double thetaOf(float azimuth, double adjust, double offset)
{
    return static_cast<double>(azimuth) + adjust + offset;
}

// Time-stamp units from `start` to `stamp`, across the hourly wrap: the nearer way round.
inline std::int64_t unitsSince(std::uint64_t stamp, std::uint64_t start)
{
    constexpr auto wrap = static_cast<std::int64_t>(kTimestampWrap);
    std::int64_t d = static_cast<std::int64_t>(stamp) - static_cast<std::int64_t>(start);
    if (d < -wrap / 2)
        d += wrap;
    else if (d > wrap / 2)
        d -= wrap;
    return d;
}

inline float secondsSince(std::uint64_t stamp, std::uint64_t start)
{
    return static_cast<float>(static_cast<double>(unitsSince(stamp, start)) * (1.0 / kMicrosecondsPerSecond));
}

// The lists of channel c that a conversion reads; echoes is null when the frame has none.
struct ChannelInput {
    std::size_t n;
    const float* distances;
    const float* azimuths;
    const int* intensities;
    const std::uint64_t* stamps;
    const std::uint8_t* echoes;
};

ChannelInput channelInputOf(const LidarData& frame, int c)
{
    const std::size_t n = channelPointCount(frame, c);
    if (n == 0)
        return {0, nullptr, nullptr, nullptr, nullptr, nullptr};
    return {n,
            frame.distances[c].data(),
            frame.azimuths[c].data(),
            frame.intensities[c].data(),
            frame.firingTimesOf(c).data(),
            sizeOf(frame.echoes, c) >= n ? frame.echoes[c].data() : nullptr};
}

// Where a conversion writes: the storage of every output array, taken once per channel into
// locals (the arrays have grown to the frame's points before). The Exact arrays are there
// only for the Exact conversion.
struct Outputs {
    explicit Outputs(PointArrays& out)
        : x(out.x.data()), y(out.y.data()), z(out.z.data()), intensity(out.intensity.data()),
          channel(out.channel.data()), azimuth(out.azimuth.data()), distance(out.distance.data()),
          time(out.time.data()), echo(out.echo.data()), theta(out.theta.data()), distanceCm(out.distanceCm.data()),
          source(out.source.data())
    {
    }

    float* x;
    float* y;
    float* z;
    float* intensity;
    std::uint16_t* channel;
    float* azimuth;
    float* distance;
    float* time;
    std::uint8_t* echo;
    double* theta;
    float* distanceCm;
    std::uint32_t* source;
};

// The window's display sector: a point whose wrapped angle lies strictly between displayAngle
// and 360 - displayAngle keeps its place with distance 0.
struct DisplaySector {
    explicit DisplaySector(const ConversionOptions& o) : low(o.displayAngle), high(360.0f - o.displayAngle) {}
    bool contains(double wrapped) const { return (low < wrapped) & (wrapped < high); }

    double low, high;
};

// What the Fast geometry of one channel's points shares: per count instead of per
// centimetre, and the emitter offset terms, x = (h + a) cos + b sin, y = b cos - (h + a) sin.
struct GeometryTerms {
    double adjust, offset;
    float horizontalPerCount, verticalPerCount, metresPerCount, offsetCos, offsetSin;

    // x and y of a return of `raw` counts where the horizontal angle has cosine cosT and
    // sine sinT.
    void horizontal(float raw, float cosT, float sinT, float& x, float& y) const
    {
        const float h = raw * horizontalPerCount + offsetCos;
        x = h * cosT + offsetSin * sinT;
        y = offsetSin * cosT - h * sinT;
    }
};

GeometryTerms geometryOf(const ChannelTerms& t, const ConversionSnapshot& snapshot)
{
    const float countCm = snapshot.modeKnown != 0 ? static_cast<float>(1.0 / kCountsPerCentimetre) : kCentimetresPerCount;
    GeometryTerms g;
    g.adjust = t.adjust;
    g.offset = t.offset;
    g.horizontalPerCount = countCm * t.horizontalPerCm;
    g.verticalPerCount = countCm * t.verticalPerCm;
    g.metresPerCount = countCm / static_cast<float>(kCentimetresPerMetre);
    g.offsetCos = static_cast<float>(kBeamOffsetCm / kCentimetresPerMetre * std::cos(kBeamOffsetAngle * kRadiansPerDegree));
    g.offsetSin = static_cast<float>(kBeamOffsetCm / kCentimetresPerMetre * std::sin(kBeamOffsetAngle * kRadiansPerDegree));
    return g;
}

// Whether a conversion keeps a point, for every precision: zero distances as chosen, then,
// with Limit, the azimuth and distance limits. A limit that is off is a range nothing falls
// outside of (an angle is never NaN; a distance may be, and is then dropped only when a
// distance limit is on). The caller gives the distance in metres as its precision scales it;
// without Limit it is not read.
template<bool Limit>
class KeepRule {
public:
    explicit KeepRule(const ConversionOptions& o)
        : keepZeros_(o.keepZeroDistances),
          low_(o.limitAzimuth ? o.azimuthMin : -std::numeric_limits<float>::infinity()),
          high_(o.limitAzimuth ? o.azimuthMax : std::numeric_limits<float>::infinity()),
          anyDistance_(!o.limitDistance), nearest_(o.distanceMin), farthest_(o.distanceMax)
    {
    }

    bool operator()(float raw, float azimuth, float metres) const
    {
        bool keep = keepZeros_ | (raw > 0.0f); // NaN counts as no return
        if (Limit)
            keep = keep & (low_ <= azimuth) & (azimuth <= high_)
                & (anyDistance_ | ((nearest_ <= metres) & (metres <= farthest_)));
        return keep;
    }

private:
    bool keepZeros_;
    float low_, high_;
    bool anyDistance_;
    float nearest_, farthest_;
};

// The Exact conversion of channel c: double trigonometry, as the text outputs print it. The
// azimuth and distance limits are a template choice, as in the Fast conversions.
template<bool Limit>
std::size_t convertChannelExact(const ChannelInput in, int c, const ChannelTerms& t, const ConversionSnapshot& snapshot,
                                const ConversionOptions& o, std::uint64_t start, std::size_t k, PointArrays& out)
{
    // Everything the loop reads besides the lists, in locals: the arrays it writes could
    // otherwise alias them and force a reload per point.
    const int modeKnown = snapshot.modeKnown != 0 ? 1 : 0;
    const KeepRule<Limit> kept(o);
    const bool collapse = o.collapseOutsideDisplay;
    const DisplaySector sector(o);
    const bool fillIntensity = o.fillIntensity;
    const bool fillTime = o.fillTime;
    const bool fillEcho = o.fillEcho;
    const double adjust = t.adjust;
    const double offset = t.offset;
    const BeamTrig beam = t.beam;
    const std::uint16_t channel = static_cast<std::uint16_t>(c);
    const Outputs to(out);

    for (std::size_t j = 0; j < in.n; ++j) {
        float raw = in.distances[j];
        const double theta = thetaOf(in.azimuths[j], adjust, offset);
        const double wrapped = wrapOnce(theta);
        const float azimuth = static_cast<float>(wrapped);
        if (!kept(raw, azimuth, scaledDistanceCm(raw, modeKnown) / static_cast<float>(kCentimetresPerMetre)))
            continue;
        if (collapse && sector.contains(wrapped))
            raw = 0.0f;

        const float d = scaledDistanceCm(raw, modeKnown);
        const Xyz p = beamCoordinates(d, beam, theta);
        to.x[k] = p.x;
        to.y[k] = p.y;
        to.z[k] = p.z;
        to.distance[k] = d / static_cast<float>(kCentimetresPerMetre);
        to.theta[k] = theta;
        to.distanceCm[k] = d;
        to.source[k] = static_cast<std::uint32_t>(j);
        to.channel[k] = channel;
        to.azimuth[k] = azimuth;
        if (fillIntensity)
            to.intensity[k] = static_cast<float>(in.intensities[j]);
        if (fillTime)
            to.time[k] = secondsSince(in.stamps[j], start);
        if (fillEcho)
            to.echo[k] = in.echoes ? in.echoes[j] : 0;
        ++k;
    }
    return k;
}

// The Fast conversion of channel c with the window's display sector, with the same rules.
// Every point is written at the next free index and the index moves on only for a point that
// is kept, so the loop has no branch that depends on the data; the azimuth and distance
// limits are a template choice.
template<bool Limit, bool Echoes>
std::size_t convertChannelFast(const ChannelInput in, int c, const ChannelTerms& t, const ConversionSnapshot& snapshot,
                               const ConversionOptions& o, std::uint64_t start, std::size_t k, PointArrays& out)
{
    const std::uint8_t* echoes = Echoes ? in.echoes : nullptr;

    // Everything the loop reads besides the lists, in locals: the arrays it writes could
    // otherwise alias them and force a reload per point.
    const DisplaySector sector(o);
    const double adjust = t.adjust;
    const double offset = t.offset;
    const std::uint16_t channel = static_cast<std::uint16_t>(c);
    const GeometryTerms g = geometryOf(t, snapshot);
    const float metresPerCount = g.metresPerCount;
    const TrigTable& table = trigTable();
    const KeepRule<Limit> kept(o);
    const Outputs to(out);

    // Two passes over the channel, the geometry and then the rest, each with few enough
    // values to keep in registers. Both keep the same points.
    std::size_t at = k;
    for (std::size_t j = 0; j < in.n; ++j) {
        float raw = in.distances[j];
        const double theta = thetaOf(in.azimuths[j], adjust, offset);
        const double wrapped = wrapOnce(theta);
        const float azimuth = static_cast<float>(wrapped);
        const bool keep = kept(raw, azimuth, raw * metresPerCount);
        raw = sector.contains(wrapped) ? 0.0f : raw;
        float cosT, sinT;
        table.lookUp(theta, cosT, sinT);
        g.horizontal(raw, cosT, sinT, to.x[at], to.y[at]);
        to.z[at] = raw * g.verticalPerCount;
        to.distance[at] = raw * metresPerCount;
        to.azimuth[at] = azimuth;
        at += keep ? 1 : 0;
    }

    for (std::size_t j = 0; j < in.n; ++j) {
        const float raw = in.distances[j];
        const float azimuth = Limit ? static_cast<float>(wrapOnce(thetaOf(in.azimuths[j], adjust, offset))) : 0.0f;
        const bool keep = kept(raw, azimuth, raw * metresPerCount);
        to.intensity[k] = static_cast<float>(in.intensities[j]);
        to.channel[k] = channel;
        to.time[k] = secondsSince(in.stamps[j], start);
        to.echo[k] = Echoes ? echoes[j] : 0;
        k += keep ? 1 : 0;
    }
    return k;
}

// Geometry, distance and wrapped azimuth of n points of one channel, point j at index j of
// every array: no index depends on the data, so the loops vectorise (with the table lookups
// as gathers, hence the arrays that never overlap). Chunk by chunk, the angles first in
// double precision, then the table and the coordinates in single precision. Points whose
// angle lies off the trigonometry grid get the grid's first entry here; returns whether
// there are any.
HVK32_VECTOR_CLONES
bool flatGeometry(const float* __restrict distances, const float* __restrict azimuths, std::size_t n,
                  const GeometryTerms g, const float* __restrict cosines, const float* __restrict sines,
                  float* __restrict xs, float* __restrict ys, float* __restrict zs, float* __restrict ds,
                  float* __restrict as)
{
    constexpr std::size_t kChunk = 256;
    int index[kChunk];
    float fraction[kChunk];
    int offGrid = 0;
    for (std::size_t first = 0; first < n; first += kChunk) {
        const std::size_t m = std::min(kChunk, n - first);
        const float* az = azimuths + first;
        float* a = as + first;
        for (std::size_t j = 0; j < m; ++j) {
            const double theta = thetaOf(az[j], g.adjust, g.offset);
            a[j] = static_cast<float>(wrapOnce(theta));
            const double t = TrigTable::position(theta);
            const bool on = TrigTable::onGrid(t);
            offGrid |= on ? 0 : 1;
            const double onT = on ? t : 0.0;
            const int i = static_cast<int>(onT);
            index[j] = i;
            fraction[j] = static_cast<float>(onT - i);
        }
        const float* d = distances + first;
        float* x = xs + first;
        float* y = ys + first;
        float* z = zs + first;
        float* metres = ds + first;
        for (std::size_t j = 0; j < m; ++j) {
            const int i = index[j];
            const float f = fraction[j];
            const float raw = d[j];
            const float cosT = cosines[i] + f * (cosines[i + 1] - cosines[i]);
            const float sinT = sines[i] + f * (sines[i + 1] - sines[i]);
            g.horizontal(raw, cosT, sinT, x[j], y[j]);
            z[j] = raw * g.verticalPerCount;
            metres[j] = raw * g.metresPerCount;
        }
    }
    return offGrid != 0;
}

// The points flatGeometry left off the grid, computed directly.
void offGridGeometry(const float* distances, const float* azimuths, std::size_t n, const GeometryTerms& g,
                     float* xs, float* ys)
{
    for (std::size_t j = 0; j < n; ++j) {
        const double theta = thetaOf(azimuths[j], g.adjust, g.offset);
        if (TrigTable::onGrid(TrigTable::position(theta)))
            continue;
        float cosT, sinT;
        TrigTable::direct(theta, cosT, sinT);
        g.horizontal(distances[j], cosT, sinT, xs[j], ys[j]);
    }
}

// Intensity, channel, time and echo of n points, point j at index j (every point kept);
// only the fields the options ask for.
HVK32_VECTOR_CLONES
void flatFields(const int* __restrict intensities, const std::uint64_t* __restrict stamps,
                const std::uint8_t* __restrict echoes, std::size_t n, std::uint16_t channel, std::uint64_t start,
                const ConversionOptions& o, float* __restrict is, std::uint16_t* __restrict cs, float* __restrict ts,
                std::uint8_t* __restrict es)
{
    if (o.fillIntensity)
        for (std::size_t j = 0; j < n; ++j)
            is[j] = static_cast<float>(intensities[j]);
    if (o.fillChannel)
        std::fill(cs, cs + n, channel);
    if (o.fillEcho) {
        if (echoes)
            std::copy(echoes, echoes + n, es);
        else
            std::fill(es, es + n, std::uint8_t{0});
    }
    if (!o.fillTime)
        return;
    // secondsSince in double arithmetic, which vectorises where 64-bit integers to double do
    // not: a count below 2^52 is exactly the double whose mantissa bits it fills, less 2^52.
    // Differences and the wrap correction of such whole numbers are exact, so every time equals
    // secondsSince's. Larger counts take secondsSince itself.
    constexpr std::uint64_t kExactBelow = std::uint64_t(1) << 52;
    constexpr std::uint64_t kTwoTo52Bits = 0x4330000000000000u; // the double 2^52
    constexpr double kTwoTo52 = 4503599627370496.0;
    std::uint64_t any = start;
    for (std::size_t j = 0; j < n; ++j)
        any |= stamps[j];
    if (any < kExactBelow) {
        const double first = static_cast<double>(start);
        constexpr double wrap = static_cast<double>(kTimestampWrap);
        constexpr double half = static_cast<double>(static_cast<std::int64_t>(kTimestampWrap) / 2);
        for (std::size_t j = 0; j < n; ++j) {
            const std::uint64_t bits = stamps[j] | kTwoTo52Bits;
            double stamp;
            std::memcpy(&stamp, &bits, sizeof stamp);
            const double d = (stamp - kTwoTo52) - first;
            const double up = d + wrap;
            const double down = d - wrap;
            const double units = d < -half ? up : (d > half ? down : d);
            ts[j] = static_cast<float>(units * (1.0 / kMicrosecondsPerSecond));
        }
    } else {
        for (std::size_t j = 0; j < n; ++j)
            ts[j] = secondsSince(stamps[j], start);
    }
}

// The Fast conversion of channel c without the display sector: the geometry and the other
// fields of every point at the channel's first free index onwards, then the kept points
// moved down over the dropped ones. Same rules as convertChannelFast.
template<bool Limit>
std::size_t convertChannelFlat(const ChannelInput in, int c, const ChannelTerms& t, const ConversionSnapshot& snapshot,
                               const ConversionOptions& o, std::uint64_t start, std::size_t k, PointArrays& out)
{
    const std::size_t n = in.n;
    const GeometryTerms g = geometryOf(t, snapshot);
    const Outputs to(out);
    const TrigTable& table = trigTable();
    if (flatGeometry(in.distances, in.azimuths, n, g, table.cosines(), table.sines(), to.x + k, to.y + k, to.z + k,
                     to.distance + k, to.azimuth + k))
        offGridGeometry(in.distances, in.azimuths, n, g, to.x + k, to.y + k);
    flatFields(in.intensities, in.stamps, in.echoes, n, static_cast<std::uint16_t>(c), start, o, to.intensity + k,
               to.channel + k, to.time + k, to.echo + k);
    if (o.keepZeroDistances && !Limit)
        return k + n;

    const KeepRule<Limit> rule(o);
    const float* distances = in.distances;
    const float* azimuth = to.azimuth + k;
    const float metresPerCount = g.metresPerCount;
    const auto kept = [&](std::size_t j) { return rule(distances[j], azimuth[j], distances[j] * metresPerCount); };
    std::size_t count = 0;
    for (std::size_t j = 0; j < n; ++j)
        count += kept(j) ? 1 : 0;
    if (count == n)
        return k + n;

    // Dropped points come in stretches (no return from the sky, a sector left out): the kept
    // runs move down whole, array by array.
    std::size_t at = k;
    for (std::size_t j = 0; j < n;) {
        while (j < n && !kept(j))
            ++j;
        const std::size_t first = j;
        while (j < n && kept(j))
            ++j;
        const std::size_t length = j - first;
        if (length > 0 && at != k + first) {
            const std::size_t from = k + first;
            const auto move = [&](auto* a) { std::copy(a + from, a + from + length, a + at); };
            move(to.x);
            move(to.y);
            move(to.z);
            move(to.distance);
            move(to.azimuth);
            if (o.fillIntensity)
                move(to.intensity);
            if (o.fillChannel)
                move(to.channel);
            if (o.fillTime)
                move(to.time);
            if (o.fillEcho)
                move(to.echo);
        }
        at += length;
    }
    return at;
}

// Converts the points of channel c (at least one) from index k on; returns the next free index.
using ChannelConversion = std::size_t (*)(ChannelInput, int, const ChannelTerms&, const ConversionSnapshot&,
                                          const ConversionOptions&, std::uint64_t, std::size_t, PointArrays&);

template<bool Limit>
ChannelConversion fastChannelOf(bool echoes)
{
    return echoes ? &convertChannelFast<Limit, true> : &convertChannelFast<Limit, false>;
}

// The routine that converts a channel with these options; echoes: whether the channel has them.
ChannelConversion channelConversionOf(const ConversionOptions& o, bool echoes)
{
    const bool limit = o.limitAzimuth || o.limitDistance;
    if (o.precision == Precision::Exact)
        return limit ? &convertChannelExact<true> : &convertChannelExact<false>;
    if (!o.collapseOutsideDisplay)
        return limit ? &convertChannelFlat<true> : &convertChannelFlat<false>;
    return limit ? fastChannelOf<true>(echoes) : fastChannelOf<false>(echoes);
}

} // namespace

const float* builtInVerticalAngles(int degreeMode)
{
    return degreeMode == 1 ? defaultVerticalAngles033 : defaultVerticalAngles1;
}

int verticalAngleMistake(int degreeMode, const float deviceVerticalAngles[32])
{
    const float* builtIn = builtInVerticalAngles(degreeMode);
    for (int c = 0; c < kChannelCount; ++c)
        if (std::fabs(deviceVerticalAngles[c] - builtIn[c]) > kMaxVerticalDeviation)
            return c;
    return -1;
}

const float* verticalAnglesInUse(int degreeMode, const float deviceVerticalAngles[32])
{
    return verticalAngleMistake(degreeMode, deviceVerticalAngles) >= 0 ? builtInVerticalAngles(degreeMode)
                                                                       : deviceVerticalAngles;
}

int fixedOffsetIndex(int degreeMode, int channel)
{
    // The same channel groups as the later firmware variant, without its adjustments.
    return angleTermOf(degreeMode, true, channel).pair;
}

float scaledDistanceCm(float raw, int modeKnown)
{
    return modeKnown == 0 ? raw * kCentimetresPerCount : static_cast<float>(raw / kCountsPerCentimetre);
}

std::size_t channelPointCount(const LidarData& frame, int c)
{
    return std::min({sizeOf(frame.distances, c), sizeOf(frame.intensities, c), sizeOf(frame.azimuths, c),
                     sizeOf(frame.timestamps, c)});
}

BeamTrig beamTrigOf(float verticalDegrees)
{
    const double v = static_cast<double>(verticalDegrees) * kPi / 180.0;
    return {std::cos(v), std::sin(v)};
}

Xyz beamCoordinates(double distanceCm, const BeamTrig& beam, double thetaDegrees)
{
    const double thetaRad = thetaDegrees * kRadiansPerDegree;
    const double betaRad = (thetaDegrees - kBeamOffsetAngle) * kRadiansPerDegree;
    const double horizontal = distanceCm * beam.cosV;
    const double xd = (horizontal * std::cos(thetaRad) + kBeamOffsetCm * std::cos(betaRad)) / kCentimetresPerMetre;
    const double yd = (horizontal * std::sin(thetaRad) + kBeamOffsetCm * std::sin(betaRad)) / -kCentimetresPerMetre;
    const double zd = distanceCm * beam.sinV / kCentimetresPerMetre;
    return {static_cast<float>(xd), static_cast<float>(yd), static_cast<float>(zd)};
}

const char* firmwareVariantOf(int degreeMode, const float offsetAngles[4])
{
    const float d1 = std::fabs(offsetAngles[0] - offsetAngles[1]);
    if (degreeMode != 1) {
        const bool allZero = offsetAngles[0] == 0.0f && offsetAngles[1] == 0.0f;
        return (d1 > 3.0f && d1 < 5.0f) || allZero ? kVariant261 : kVariant260;
    }
    const float d2 = std::fabs(offsetAngles[2] - offsetAngles[3]);
    const bool allZero = offsetAngles[0] == 0.0f && offsetAngles[1] == 0.0f && offsetAngles[2] == 0.0f
        && offsetAngles[3] == 0.0f;
    const bool spread = d1 > 4.8 && d1 < 6.8 && d2 > 1.8 && d2 < 3.0;
    return spread || allZero ? kVariant261 : kVariant260;
}

AngleTerms AngleTerms::fixed(const ConversionSnapshot& snapshot)
{
    AngleTerms t;
    for (int c = 0; c < kChannelCount; ++c)
        t.offset[c] = snapshot.offsetAngles[fixedOffsetIndex(snapshot.degreeMode, c)];
    return t;
}

AngleTerms AngleTerms::adjusted(const ConversionSnapshot& snapshot, const double angleAdjust[4])
{
    const bool variant261 = firmwareVariantOf(snapshot.degreeMode, snapshot.offsetAngles) == kVariant261;
    AngleTerms t;
    for (int c = 0; c < kChannelCount; ++c) {
        const AngleTerm term = angleTermOf(snapshot.degreeMode, variant261, c);
        t.adjust[c] = term.sign * angleAdjust[term.pair];
        t.offset[c] = term.sign * static_cast<double>(snapshot.offsetAngles[term.pair]);
    }
    return t;
}

std::uint64_t frameStartTime(const LidarData& frame)
{
    bool any = false;
    std::uint64_t start = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        if (channelPointCount(frame, c) == 0)
            continue;
        const std::uint64_t first = frame.firingTimesOf(c).front();
        if (!any || unitsSince(first, start) < 0)
            start = first;
        any = true;
    }
    return start;
}

void PointConversion::convert(const LidarData& frame, const ConversionSnapshot& snapshot, const AngleTerms& angles,
                              const ConversionOptions& options, PointArrays& out) const
{
    const float* vertical = verticalAnglesInUse(snapshot.degreeMode, snapshot.deviceVerticalAngles);
    ChannelTerms terms[kChannelCount];
    std::size_t total = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        const BeamTrig beam = beamTrigOf(vertical[c]);
        terms[c] = {beam, angles.adjust[c], angles.offset[c], static_cast<float>(beam.cosV / kCentimetresPerMetre),
                    static_cast<float>(beam.sinV / kCentimetresPerMetre)};
        if (options.channels[static_cast<std::size_t>(c)])
            total += channelPointCount(frame, c);
    }

    // The arrays only grow, so a stream of similar frames allocates once.
    for (auto* v : {&out.x, &out.y, &out.z, &out.intensity, &out.azimuth, &out.distance, &out.time})
        grow(*v, total);
    grow(out.channel, total);
    grow(out.echo, total);
    const bool exact = options.precision == Precision::Exact;
    if (exact) {
        grow(out.theta, total);
        grow(out.distanceCm, total);
        grow(out.source, total);
    }

    const std::uint64_t start = frameStartTime(frame);
    std::size_t k = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        if (!options.channels[static_cast<std::size_t>(c)])
            continue;
        const ChannelInput in = channelInputOf(frame, c);
        if (in.n == 0)
            continue;
        k = channelConversionOf(options, in.echoes != nullptr)(in, c, terms[c], snapshot, options, start, k, out);
    }
    out.size = k;
}

} // namespace hvk32
