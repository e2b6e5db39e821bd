#include "hvk32/hvk32.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CaptureSummary.h"
#include "hvk32/CaptureState.h"
#include "platform/FileKinds.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <cmath>
#include <cstdio>
#include <utility>

namespace hvk32 {

namespace {

constexpr int kChannels = 32;
constexpr double kSecondsPerTimestampUnit = 1e-6; // data packet time stamps count microseconds

// "%g", as the command line prints a number it complains about.
std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A distance in metres, finite and 0 or more (as the conversion's float holds it).
double checkedDistance(double d, const char* name)
{
    if (!(d >= 0.0 && d <= std::numeric_limits<float>::max())) // NaN fails both
        throw Error(Error::Kind::BadArgument, "bad value '" + number(d) + "' for the " + name
                                                  + " distance (metres, a finite number 0 or more)");
    return d;
}

void checkDistanceRange(double min, double max)
{
    if (min > max)
        throw Error(Error::Kind::BadArgument, "Distance range invalid (" + number(min) + " to " + number(max)
                                                  + " m; the minimum is above the maximum)");
}

} // namespace

std::string version()
{
    return HVK32_VERSION;
}

Filter& Filter::channels(int first, int last)
{
    for (const int c : {first, last})
        if (c < 0 || c >= kChannels)
            throw Error(Error::Kind::BadArgument, "channel " + std::to_string(c) + " is not one of 0..31");
    if (first > last)
        throw Error(Error::Kind::BadArgument, "channels " + std::to_string(first) + " to " + std::to_string(last)
                                                  + ": the first is above the last");
    if (!channelsListed_)
        channels_ = 0;
    channelsListed_ = true;
    for (int c = first; c <= last; ++c)
        channels_ |= 1u << c;
    return *this;
}

Filter& Filter::channels(const std::vector<int>& list)
{
    for (const int c : list)
        if (c < 0 || c >= kChannels)
            throw Error(Error::Kind::BadArgument, "channel " + std::to_string(c) + " is not one of 0..31");
    if (!channelsListed_)
        channels_ = 0;
    channelsListed_ = true;
    for (const int c : list)
        channels_ |= 1u << c;
    return *this;
}

Filter& Filter::distance(double min, double max)
{
    checkedDistance(min, "minimum");
    checkedDistance(max, "maximum");
    checkDistanceRange(min, max);
    min_ = min;
    max_ = max;
    limitsDistance_ = true;
    return *this;
}

Filter& Filter::minDistance(double min)
{
    checkDistanceRange(checkedDistance(min, "minimum"), max_);
    min_ = min;
    limitsDistance_ = true;
    return *this;
}

Filter& Filter::maxDistance(double max)
{
    checkDistanceRange(min_, checkedDistance(max, "maximum"));
    max_ = max;
    limitsDistance_ = true;
    return *this;
}

Filter& Filter::keepZero(bool keep)
{
    keepZero_ = keep;
    return *this;
}

bool Filter::keepsChannel(int channel) const
{
    return channel >= 0 && channel < kChannels && (channels_ >> channel & 1u);
}

namespace detail {

ConversionOptions conversionOptions(const Filter& filter)
{
    ConversionOptions o;
    o.precision = Precision::Fast;
    o.keepZeroDistances = filter.keepsZero();
    for (int c = 0; c < kChannels; ++c)
        o.channels[static_cast<std::size_t>(c)] = filter.keepsChannel(c);
    if (filter.limitsDistance()) {
        o.limitDistance = true;
        o.distanceMin = static_cast<float>(filter.minDistance());
        o.distanceMax = std::isinf(filter.maxDistance()) ? std::numeric_limits<float>::infinity()
                                                         : static_cast<float>(filter.maxDistance());
    }
    return o;
}

void readFrame(const CaptureAccess::State& state, FrameReader& reader, std::size_t k)
{
    const int n = static_cast<int>(k + 1);
    QString message;
    if ((reader.nextNumber() == n || reader.startAt(n, &message)) && reader.next() && reader.number() == n)
        return;
    throw Error(Error::Kind::ReadFailed,
                state.pathText + ": "
                    + (message.isEmpty() ? "frame " + std::to_string(n) + " cannot be read" : message.toStdString()));
}

Error outOfRange(const std::string& pathText, std::size_t count, std::size_t k)
{
    return Error(Error::Kind::OutOfRange, pathText + " has " + std::to_string(count) + " frame"
                                              + (count == 1 ? "" : "s") + ", so there is no frame at index "
                                              + std::to_string(k));
}

} // namespace detail

Capture::Capture(std::unique_ptr<State> state) : state_(std::move(state)) {}
Capture::Capture(Capture&&) noexcept = default;
Capture& Capture::operator=(Capture&&) noexcept = default;
Capture::~Capture() = default;

Capture Capture::open(const std::string& path, const Filter& filter)
{
    auto state = std::make_unique<State>();
    state->path = QString::fromStdString(path);
    state->pathText = path;
    state->filter = filter;
    state->options = detail::conversionOptions(filter);
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    std::string what;
    const platform::FileKind kind = platform::fileKind(state->path.toLocal8Bit().toStdString(), &what);
    if (kind == platform::FileKind::Folder || kind == platform::FileKind::Other)
        throw Error(kind == platform::FileKind::Folder ? Error::Kind::Folder : Error::Kind::NotACapture,
                    path + ": " + what + ", not a capture file");
    QString message;
    if (!state->index.build(state->path, &message)) {
        const QFileInfo file(state->path);
        const Error::Kind why = !file.exists() ? Error::Kind::NotFound
            : file.isFile() && !file.isReadable() ? Error::Kind::PermissionDenied
            : file.isFile() ? Error::Kind::NotACapture
                            : Error::Kind::Folder;
        throw Error(why, path + ": " + message.toStdString());
    }
    if (state->index.frameCount() == 0) {
        const CaptureFrameIndex::Summary& s = state->index.summary();
        const capturefile::RecordCounts counts{s.dataPackets + s.deviceInfoPackets + s.otherRecords, s.dataPackets,
                                               s.deviceInfoPackets, state->index.configurationReported()};
        throw Error(Error::Kind::NotACapture,
                    path + ": no frame to play: " + capturefile::describeNoFrame(counts).toStdString());
    }
    return Capture(std::move(state));
}

std::size_t Capture::size() const
{
    return static_cast<std::size_t>(state_->index.frameCount());
}

Frame Capture::frame(std::size_t k) const
{
    Frame f;
    frame(k, f);
    return f;
}

void Capture::frame(std::size_t k, Frame& into) const
{
    State& s = *state_;
    if (k >= size())
        throw detail::outOfRange(s.pathText, size(), k);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.reader)
        s.reader = std::make_unique<FrameReader>(s.path, s.index);
    FrameReader& reader = *s.reader;
    try {
        detail::readFrame(s, reader, k);
    } catch (const Error&) {
        s.reader.reset(); // starts afresh next time
        throw;
    }
    const ConversionSnapshot snapshot = reader.snapshot();
    PointArrays& p = s.points;
    PointConversion().convert(reader.frame(), snapshot, AngleTerms::fixed(snapshot), s.options, p);
    const std::size_t size = p.size;
    into.number = reader.number();
    into.lostPackets = reader.lostPackets();
    into.startTime = static_cast<double>(frameStartTime(reader.frame())) * kSecondsPerTimestampUnit;
    into.x.assign(p.x.begin(), p.x.begin() + static_cast<std::ptrdiff_t>(size));
    into.y.assign(p.y.begin(), p.y.begin() + static_cast<std::ptrdiff_t>(size));
    into.z.assign(p.z.begin(), p.z.begin() + static_cast<std::ptrdiff_t>(size));
    into.ring.assign(p.channel.begin(), p.channel.begin() + static_cast<std::ptrdiff_t>(size));
    into.azimuth.assign(p.azimuth.begin(), p.azimuth.begin() + static_cast<std::ptrdiff_t>(size));
    into.distance.assign(p.distance.begin(), p.distance.begin() + static_cast<std::ptrdiff_t>(size));
    into.returnIndex.assign(p.echo.begin(), p.echo.begin() + static_cast<std::ptrdiff_t>(size));
    into.intensity.resize(size);
    into.time.resize(size);
    for (std::size_t i = 0; i < size; ++i)
        into.intensity[i] = static_cast<std::uint8_t>(p.intensity[i]);
    for (std::size_t i = 0; i < size; ++i)
        into.time[i] = static_cast<double>(p.time[i]);
}

std::string Capture::summary() const
{
    return QJsonDocument(captureSummary(state_->index)).toJson(QJsonDocument::Compact).toStdString();
}

const std::string& Capture::path() const
{
    return state_->pathText;
}

const Filter& Capture::filter() const
{
    return state_->filter;
}

} // namespace hvk32
