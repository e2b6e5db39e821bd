#include "io/McapRecording.h"

#include "acquisition/DeviceInfoJson.h"
#include "io/PointCloud2.h"

namespace hvk32 {

namespace {

constexpr std::uint64_t kNanosecondsPerSecond = 1000000000;
constexpr const char* kFramesKey = "framesWritten";

std::uint64_t nanoseconds(std::int64_t micros)
{
    return micros > 0 ? static_cast<std::uint64_t>(micros) * 1000u : 0;
}

} // namespace

// Chunks are compressed by the caller's thread, so each is in the file as soon as it is full.
McapRecording::McapRecording(mcap::Compression compression, std::size_t chunkSize)
    : file_(pointfile::OutputFile::Writing::Direct), writer_(compression, chunkSize, 0)
{
    writer_.setLive(true);
}

bool McapRecording::open(const std::string& path, const std::string& library)
{
    if (!file_.openTarget(path))
        return fail();
    open_ = true;
    const std::string deviceInfoSchema = deviceInfoJsonSchema().toStdString();
    using namespace live;
    const bool begun =
        writer_.open(file_, "ros2", library)
        && writer_.add(mcap::Schema{kPointsChannel, kPointsSchemaName, "ros2msg", ros2::pointCloud2Definition()})
        && writer_.add(mcap::Schema{kDeviceInfoChannel, kDeviceInfoSchemaName, "jsonschema", deviceInfoSchema})
        && writer_.add(mcap::Schema{kHealthChannel, kHealthSchemaName, "jsonschema", healthJsonSchema(kFramesKey)})
        && writer_.add(mcap::Channel{kPointsChannel, kPointsChannel, kPointsTopic, "cdr"})
        && writer_.add(mcap::Channel{kDeviceInfoChannel, kDeviceInfoChannel, kDeviceInfoTopic, "json"})
        && writer_.add(mcap::Channel{kHealthChannel, kHealthChannel, kHealthTopic, "json"})
        && writer_.flush();
    return begun || fail();
}

bool McapRecording::fail()
{
    if (error_.empty()) {
        error_ = writer_.error().empty() ? file_.error() : writer_.error();
        if (error_.empty())
            error_ = file_.target() + " cannot be written";
    }
    return false;
}

bool McapRecording::write(std::uint16_t channel, std::uint32_t sequence, std::int64_t micros, const void* data,
                          std::size_t size)
{
    if (!open_ || failed())
        return false;
    const std::uint64_t time = nanoseconds(micros);
    return writer_.write(channel, sequence, time, time, data, size) || fail();
}

bool McapRecording::writeFrame(const PointArrays& points, std::int64_t captureMicros)
{
    if (!open_ || failed())
        return false;
    const std::uint64_t time = nanoseconds(captureMicros);
    const auto encode = [&](char* message) {
        ros2::encodePointCloud2(static_cast<std::int32_t>(time / kNanosecondsPerSecond),
                                static_cast<std::uint32_t>(time % kNanosecondsPerSecond), ros2::kFrameId, points,
                                message);
    };
    if (!writer_.write(kPointsChannel, static_cast<std::uint32_t>(frames_), time, time,
                       ros2::pointCloud2Size(ros2::kFrameId, points.size), encode))
        return fail();
    ++frames_;
    return true;
}

bool McapRecording::writeDeviceInfo(const QByteArray& json, std::int64_t receivedMicros)
{
    if (!write(kDeviceInfoChannel, static_cast<std::uint32_t>(deviceInfos_), receivedMicros, json.constData(),
               static_cast<std::size_t>(json.size())))
        return false;
    ++deviceInfos_;
    return true;
}

bool McapRecording::writeHealth(const live::Health& health, std::int64_t micros)
{
    const std::string json = live::healthJson(health, kFramesKey);
    if (!write(kHealthChannel, static_cast<std::uint32_t>(healths_), micros, json.data(), json.size()))
        return false;
    ++healths_;
    return true;
}

bool McapRecording::flush()
{
    if (!open_ || failed())
        return false;
    return writer_.flush() || fail();
}

bool McapRecording::close()
{
    if (!open_)
        return false;
    open_ = false;
    if (!failed() && writer_.close() && file_.commit())
        return true;
    fail();
    // A write failed (a full disk): end the file after its last whole chunk.
    return writer_.closeAfterFailure() && file_.commit();
}

} // namespace hvk32
