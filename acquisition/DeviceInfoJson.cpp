#include "acquisition/DeviceInfoJson.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace hvk32 {

namespace {

// Status values after the six MAC bytes, by their index in the status list.
struct StatusName {
    int index;
    const char* name;
};
constexpr StatusName kStatusNames[] = {
    {StatusPpsState, "ppsState"},
    {StatusDataPort, "statusDataPort"},
    {StatusDevicePort, "devicePort"},
    {StatusMeasuringRange, "measuringRange"},
    {StatusFirmwareMajor, "firmwareMajor"},
    {StatusFirmwareMinor, "firmwareMinor"},
    {StatusTailThreshold, "tailThreshold"},
    {StatusTailDistance, "tailDistance"},
    {StatusPpsAngle, "ppsAngle"},
    {StatusZeroDirection, "zeroDirection"},
    {StatusBoardMajor, "boardMajor"},
    {StatusBoardMinor, "boardMinor"},
    {StatusApdTemperature, "apdTemperature"},
    {StatusEchoMode, "echoMode"},
    {StatusHighVoltage, "highVoltage"},
    {StatusHighVoltageAdjust, "highVoltageAdjust"},
    {StatusThresholdAdjust, "thresholdAdjust"},
    {StatusAngleModeCode, "angleModeCode"},
    {StatusCleanliness, "cleanliness"},
};

QJsonArray floats(const float* values, int count)
{
    QJsonArray a;
    for (int k = 0; k < count; ++k)
        a.append(QString::number(static_cast<double>(values[k]), 'g', 7).toDouble()); // as the float reads
    return a;
}

} // namespace

QByteArray deviceInfoJson(const std::uint8_t* payload)
{
    const SettingData s = decodeSettingData(payload);
    const std::vector<int> status = decodeStatusValues(payload);
    const DeviceCalibration calibration = decodeCalibration(payload);
    QJsonObject o;
    o["destinationIp"] = QStringLiteral("%1.%2.%3.%4")
                             .arg(s.destinationIp[0])
                             .arg(s.destinationIp[1])
                             .arg(s.destinationIp[2])
                             .arg(s.destinationIp[3]);
    o["dataPort"] = s.dataPort[0] << 8 | s.dataPort[1];
    const devinfo::Clock clock = devinfo::readClock(s.dateTime);
    o["deviceTime"] = QStringLiteral("%1-%2-%3T%4:%5:%6")
                          .arg(clock.year)
                          .arg(clock.month, 2, 10, QLatin1Char('0'))
                          .arg(clock.day, 2, 10, QLatin1Char('0'))
                          .arg(clock.hour, 2, 10, QLatin1Char('0'))
                          .arg(clock.minute, 2, 10, QLatin1Char('0'))
                          .arg(clock.second, 2, 10, QLatin1Char('0'));
    o["motorSpeed"] = s.motorSpeed;
    o["packetInterval"] = s.packetInterval;
    o["motorState"] = s.motorState;
    o["verticalAngles"] = floats(calibration.verticalAngles.data(), 32);
    o["offsetAngles"] = floats(calibration.offsetAngles.data(), 4);
    QJsonArray mac;
    for (int k = 0; k < 6; ++k)
        mac.append(status[static_cast<std::size_t>(StatusMac0 + k)]);
    o["mac"] = mac;
    for (const StatusName& n : kStatusNames)
        o[QLatin1String(n.name)] = status[static_cast<std::size_t>(n.index)];
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray deviceInfoJsonSchema()
{
    QJsonObject integer{{"type", "integer"}};
    QJsonObject numbers{{"type", "array"}, {"items", QJsonObject{{"type", "number"}}}};
    QJsonObject properties{
        {"destinationIp", QJsonObject{{"type", "string"}}},
        {"dataPort", integer},
        {"deviceTime", QJsonObject{{"type", "string"}}},
        {"motorSpeed", integer},
        {"packetInterval", integer},
        {"motorState", integer},
        {"verticalAngles", numbers},
        {"offsetAngles", numbers},
        {"mac", QJsonObject{{"type", "array"}, {"items", integer}}},
    };
    for (const StatusName& n : kStatusNames)
        properties[QLatin1String(n.name)] = integer;
    QJsonObject schema{{"title", "hvk32 device info"}, {"type", "object"}, {"properties", properties}};
    return QJsonDocument(schema).toJson(QJsonDocument::Compact);
}

} // namespace hvk32
