#include "device/AddressChecks.h"

#include "records/AddressRanges.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdint>

namespace hvk32::addresschecks {

namespace {

constexpr int kParts = 4;
constexpr int kFirstUnicast = 1;
constexpr int kLastUnicast = 223;
constexpr int kLastClassA = 126;
constexpr int kFirstClassB = 128;
constexpr int kLastClassB = 191;
constexpr int kFirstClassC = 192;
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;

const QString kZeroAddress = QStringLiteral("0.0.0.0");

// A part's number; a part that is not a number counts as 0.
int number(const QString& part)
{
    return part.toInt();
}

QStringList partsOf(const QString& text)
{
    return text.split(QLatin1Char('.'));
}

QStringList nonEmptyPartsOf(const QString& text)
{
    return text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
}

bool isMulticastFirst(int n)
{
    return isMulticastFirstOctet(n);
}

bool isUnicastFirst(int n)
{
    return n >= kFirstUnicast && n <= kLastUnicast;
}

// The address with its first number replaced by 223, the other parts as typed.
QString withFirst223(const QStringList& parts)
{
    return QStringLiteral("223.%1.%2.%3").arg(parts[1], parts[2], parts[3]);
}

CheckResult verdict(const AddressBoxes& boxes, bool ok, const QString& message = {})
{
    return {ok, message, boxes};
}

} // namespace

CheckResult checkLidarIp(const AddressBoxes& boxes)
{
    if (boxes.deviceIp.isEmpty())
        return verdict(boxes, false, QCoreApplication::translate("AddressChecks", "The Lidar IP can not be empty."));
    const QStringList parts = partsOf(boxes.deviceIp);
    if (parts.size() != kParts)
        return verdict(boxes, false, QCoreApplication::translate("AddressChecks", "Incorrect Lidar IP format."));
    const int first = number(parts[0]);
    if (isUnicastFirst(first))
        return verdict(boxes, true);
    AddressBoxes corrected = boxes;
    corrected.deviceIp = withFirst223(parts);
    return verdict(corrected, false,
                   QCoreApplication::translate("AddressChecks", "%1 is not a valid item in the first paragraph. Please specify a value between 1 and 223.")
                       .arg(first));
}

CheckResult checkLocalIp(const AddressBoxes& boxes)
{
    if (boxes.hostIp.isEmpty())
        return verdict(boxes, false, QCoreApplication::translate("AddressChecks", "The Local IP can not be empty."));
    const QStringList parts = partsOf(boxes.hostIp);
    if (parts.size() != kParts)
        return verdict(boxes, false, QCoreApplication::translate("AddressChecks", "Incorrect local IP format."));
    const int first = number(parts[0]);
    if (isUnicastFirst(first))
        return verdict(boxes, true);
    AddressBoxes corrected = boxes;
    if (isMulticastFirst(first)) {
        corrected.gateway = kZeroAddress;
        corrected.subnetMask = kZeroAddress;
        return verdict(corrected, true);
    }
    corrected.hostIp = withFirst223(parts);
    return verdict(corrected, false,
                   QCoreApplication::translate("AddressChecks", "%1 is not a valid item in the first paragraph. Please specify a value between 1 and 239.")
                       .arg(first));
}

CheckResult checkSubnetMask(const AddressBoxes& boxes)
{
    if (boxes.subnetMask.isEmpty())
        return verdict(boxes, true);
    const QStringList host = partsOf(boxes.hostIp);
    if (host.size() != kParts)
        return verdict(boxes, false);
    if (isMulticastFirst(number(host[0]))) {
        AddressBoxes corrected = boxes;
        corrected.subnetMask = kZeroAddress;
        return verdict(corrected, true);
    }
    const QStringList mask = partsOf(boxes.subnetMask);
    if (mask.size() != kParts)
        return verdict(boxes, false, QCoreApplication::translate("AddressChecks", "Incorrect SubNet Mask format."));
    std::uint32_t m = 0;
    for (int i = 0; i < kParts; ++i)
        m |= static_cast<std::uint32_t>(number(mask[i])) << (8 * (kParts - 1 - i));
    // A contiguous mask (ones from the top, then zeros) fills every bit when OR-ed with m - 1.
    if ((m | (m - 1)) != kAllOnes) {
        AddressBoxes corrected = boxes;
        corrected.subnetMask.clear();
        return verdict(corrected, false,
                       QCoreApplication::translate("AddressChecks", "The subnet mask entered is invalid. The subnet mask must be contiguous, "
                                      "please re-enter the subnet mask."));
    }
    return verdict(boxes, true);
}

CheckResult checkGateway(const AddressBoxes& boxes, const GatewayQuestion& ask)
{
    if (boxes.gateway.isEmpty() || boxes.gateway == kZeroAddress)
        return verdict(boxes, true);
    if (boxes.subnetMask.isEmpty())
        return verdict(boxes, false, QCoreApplication::translate("AddressChecks", "The subnet mask can not be empty."));
    const QStringList host = nonEmptyPartsOf(boxes.hostIp);
    const QStringList mask = nonEmptyPartsOf(boxes.subnetMask);
    const QStringList gateway = nonEmptyPartsOf(boxes.gateway);
    if (host.size() != kParts || mask.size() != kParts || gateway.size() != kParts)
        return verdict(boxes, false, QCoreApplication::translate("AddressChecks", "Incorrect IP format."));
    if (isMulticastFirst(number(host[0]))) {
        AddressBoxes corrected = boxes;
        corrected.gateway = kZeroAddress;
        return verdict(corrected, true);
    }
    const QString question = QCoreApplication::translate("AddressChecks", 
        "The gateway is not on the same network segment (subnet) defined by the IP address and subnet mask. "
        "Are you sure to save it?");
    for (int i = 0; i < kParts; ++i) {
        const int m = number(mask[i]);
        if ((number(gateway[i]) & m) != (m & number(host[i])) && !(ask && ask(question)))
            return verdict(boxes, false);
    }
    return verdict(boxes, true);
}

bool isIncomplete(const QString& address)
{
    if (address.isEmpty())
        return false;
    const QStringList parts = partsOf(address);
    if (parts.size() != kParts)
        return true;
    for (const QString& part : parts) {
        bool isNumber = false;
        const int n = part.toInt(&isNumber);
        if (!isNumber || n < 0 || n > 255)
            return true;
    }
    return false;
}

QString subnetOnFocus(const AddressBoxes& boxes)
{
    if (!boxes.subnetMask.isEmpty() || boxes.hostIp.isEmpty())
        return boxes.subnetMask;
    const QStringList host = partsOf(boxes.hostIp);
    if (host.size() != kParts)
        return {};
    const int first = number(host[0]);
    if (isMulticastFirst(first))
        return kZeroAddress;
    if (first >= kFirstUnicast && first <= kLastClassA)
        return QStringLiteral("255.0.0.0");
    if (first >= kFirstClassB && first <= kLastClassB)
        return QStringLiteral("255.255.0.0");
    if (first >= kFirstClassC && first <= kLastUnicast)
        return QStringLiteral("255.255.255.0");
    return {}; // 0, 127 (loopback), 240 and above
}

QString gatewayOnFocus(const AddressBoxes& boxes)
{
    if (!boxes.gateway.isEmpty())
        return boxes.gateway;
    const QStringList host = partsOf(boxes.hostIp);
    const QStringList mask = partsOf(boxes.subnetMask);
    if (host.size() != kParts || mask.size() != kParts)
        return boxes.gateway;
    if (isMulticastFirst(number(host[0])))
        return kZeroAddress;
    return QStringLiteral("%1.%2.%3.1")
        .arg(number(host[0]) & number(mask[0]))
        .arg(number(host[1]) & number(mask[1]))
        .arg(number(host[2]) & number(mask[2]));
}

} // namespace hvk32::addresschecks
