// Fuzz target: arbitrary typed texts and device-info packets through the configuration
// packet builders and the network dialog's address checks. A built packet keeps its size,
// header and tail; every check returns; nothing reads or writes outside its buffers.

#include "acquisition/DeviceInfoPacket.h"
#include "device/AcwpPacket.h"
#include "device/AddressChecks.h"
#include "device/ConfigPacket.h"
#include "device/UcwpPacket.h"
#include "device/VerticalAnglePacket.h"
#include "fuzz/FuzzSeeds.h"
#include "sim/ScannerStream.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace hvk32;

namespace {

constexpr std::size_t kTextFields = 17;

void checkTail(const std::uint8_t* packet)
{
    if (std::memcmp(packet + configpacket::kTailOffset, configpacket::kTail, sizeof configpacket::kTail) != 0)
        std::abort();
}

} // namespace

// Input: a packet-sized stored packet (zero-padded when shorter), then up to 17 texts separated
// by NUL bytes that fill the forms' boxes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t stored[devinfo::kPacketSize] = {};
    const std::size_t head = std::min(size, sizeof stored);
    std::memcpy(stored, data, head);
    const QStringList parts =
        QString::fromLatin1(reinterpret_cast<const char*>(data + head), static_cast<int>(size - head)).split(QChar(0));
    QString texts[kTextFields];
    for (std::size_t i = 0; i < kTextFields && i < static_cast<std::size_t>(parts.size()); ++i)
        texts[i] = parts[static_cast<int>(i)];

    ucwp::UcwpForm user;
    user.deviceIp = texts[0];
    user.hostIp = texts[1];
    user.dataPort = texts[2];
    user.devicePort = texts[3];
    user.ntpServer = texts[4];
    user.gateway = texts[5];
    user.subnetMask = texts[6];
    user.interval = texts[7];
    user.ppsAngle = texts[8];
    const ucwp::Build u = ucwp::buildUcwpPacket(stored, user, QDateTime(QDate(2026, 12, 8), QTime(12, 0)));
    if (u.ok())
        checkTail(u.packet.data());
    (void)ucwp::ucwpDestination(stored, texts[9], 2369, 2368);

    acwp::AcwpForm advanced;
    advanced.motorSpeedItem = head ? data[0] % 4 : 0;
    advanced.range = texts[10];
    advanced.tailThreshold = texts[11];
    advanced.tailDistance = texts[12];
    for (int i = 0; i < acwp::kAngleCount; ++i)
        advanced.angles[i] = texts[static_cast<std::size_t>(13 + i)];
    const acwp::Build a = acwp::buildAcwpPacket(stored, advanced);
    if (a.ok())
        checkTail(a.packet.data());
    (void)acwp::acwpDestination(stored, stored[devinfo::kFirmwareMajor], 2368);

    // The vertical table: every channel set from the texts, as the dialog's set column reads them.
    for (int mode = 0; mode < 2; ++mode) {
        vertical::Angles angles{};
        for (int c = 0; c < devinfo::kVerticalAngleCount; ++c)
            angles[static_cast<std::size_t>(c)] = texts[static_cast<std::size_t>(c) % kTextFields].isEmpty()
                ? *vertical::nominalAngle(mode, c)
                : texts[static_cast<std::size_t>(c) % kTextFields].toFloat();
        const vertical::Build v = vertical::buildVerticalAnglePacket(stored, angles, mode);
        if (v.ok())
            checkTail(v.packet.data());
    }

    addresschecks::AddressBoxes boxes{texts[0], texts[1], texts[6], texts[5]};
    (void)addresschecks::checkLidarIp(boxes);
    (void)addresschecks::checkLocalIp(boxes);
    (void)addresschecks::checkSubnetMask(boxes);
    int asked = 0;
    (void)addresschecks::checkGateway(boxes, [&asked](const QString&) { return ++asked % 2 == 1; });
    (void)addresschecks::subnetOnFocus(boxes);
    (void)addresschecks::gatewayOnFocus(boxes);
    return 0;
}

// Seeds: a device-info packet with the texts of a typical form, and with texts at the limits.
std::vector<std::vector<std::uint8_t>> hvk32FuzzSeeds()
{
    sim::ScannerSettings s;
    s.clockStart = sim::ClockTime{2026, 12, 8, 12, 0, 0};
    std::vector<std::uint8_t> info(devinfo::kPacketSize);
    sim::ScannerStream(s).deviceInfoPacket(0, info.data());
    const char* const forms[] = {
        "192.168.1.200|192.168.1.102|2368|2369|192.168.1.1|192.168.1.1|255.255.255.0|0|1.5|224.1.1.1|200|5|3|0.5|-1|2",
        "224.0.0.1|239.255.255.255|65536|1024|1.2.3|0.0.0.0|255.0.255.0|65536|nan|x|-1|inf|1e9|-327.69|327.67|nan",
    };
    std::vector<std::vector<std::uint8_t>> seeds;
    for (const char* form : forms) {
        std::vector<std::uint8_t> seed = info;
        for (const char* c = form; *c; ++c)
            seed.push_back(*c == '|' ? 0 : static_cast<std::uint8_t>(*c));
        seeds.push_back(seed);
    }
    return seeds;
}
