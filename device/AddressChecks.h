#pragma once
// Checks and completions of the addresses typed into the network dialog: the device
// address, the host address, the subnet mask and the gateway. Each check takes the four box
// texts and returns its verdict, the message to show (if any) and the box texts after its
// corrections; the dialog shows the message and writes the texts back.
//
// A dotted address has exactly four parts. A host address whose first number is 224..239 is
// a multicast destination, for which subnet mask and gateway are 0.0.0.0. The host address,
// not the device address, is the reference for the subnet and gateway checks.

#include <QString>

#include <functional>

namespace hvk32::addresschecks {

struct AddressBoxes {
    QString deviceIp;   // "Lidar IP："
    QString hostIp;     // "local IP："
    QString subnetMask; // "Subnet Mask："
    QString gateway;    // "default gateway："
};

struct CheckResult {
    bool ok = false;
    QString message;    // for a "Warning" box; empty: nothing to show
    AddressBoxes boxes; // the texts after the check
};

// Asked (title "Warning", Yes/No) when the gateway leaves the host's subnet at one position;
// true (Yes) goes on to the next position.
using GatewayQuestion = std::function<bool(const QString& text)>;

CheckResult checkLidarIp(const AddressBoxes& boxes);
CheckResult checkLocalIp(const AddressBoxes& boxes);
CheckResult checkSubnetMask(const AddressBoxes& boxes);
CheckResult checkGateway(const AddressBoxes& boxes, const GatewayQuestion& ask);

// The subnet box text when the box takes the focus: a mask proposed from the host address's
// class when the box is empty, otherwise the box unchanged.
QString subnetOnFocus(const AddressBoxes& boxes);
// True for a box left half typed: not empty, but not four numbers of 0..255 ("127.0.0").
bool isIncomplete(const QString& address);
// The gateway box text when the box takes the focus: ".1" of the host's subnet (0.0.0.0 for a
// multicast host) when the box is empty and host and mask have four parts, otherwise unchanged.
QString gatewayOnFocus(const AddressBoxes& boxes);

} // namespace hvk32::addresschecks
