#pragma once
// The window in which the user reads and changes the device's network and user settings.
// The settings area is filled from the last device-info packet on "Refresh state"; the
// status area follows every status; "Set" checks the addresses, builds a UCWP packet from
// the stored device-info packet and the form and sends it to the device once.

#include "device/AddressChecks.h"
#include "device/ConfigPacket.h"
#include "device/Destinations.h"
#include "device/StoredDeviceInfo.h"
#include "records/SettingData.h"
#include "tools/ConfigPacketSender.h"

#include <QDateTime>
#include <QStringList>
#include <QWidget>

#include "records/ByteTypes.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace hvk32::platform {
class Pauses;
class UserPrompts;
}

namespace Ui {
class InetactionSetupWidgetK32;
}

class InetactionSetupWidgetK32 : public QWidget {
    Q_OBJECT
public:
    // `prompts` shows every message box (null: real QMessageBoxes); `pauses` makes the waits
    // around a send (null: the system's).
    explicit InetactionSetupWidgetK32(hvk32::platform::UserPrompts* prompts, hvk32::platform::Pauses* pauses = nullptr,
                                      QWidget* parent = nullptr);
    ~InetactionSetupWidgetK32() override;

    // Where packets go when the device's reported address is the destination; tests send to
    // a port of their own instead of the device's command port.
    void setDestinations(const hvk32::device::Destinations& destinations) { destinations_ = destinations; }
    void setCommandPort(std::uint16_t port) { destinations_.commandPort = port; }
    // The local time written into the packet's clock.
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    // Sends the whole 1206-byte packet once; true when the datagram left.
    bool SendPacketDataToLidar(unsigned char* packet, const char* ip_data, u_short portdata)
    {
        return sender_.SendPacketDataToLidar(packet, ip_data, portdata);
    }

signals:
    // The device's eight version texts, sent once on the first status.
    void sendVersionToAbout(QStringList m_Versions);

public slots:
    void OnLidarStatusReceiving(SettingData* data, std::vector<int> Mac);
    void OnLidarDifoData(const u_char* data);
    // The state of the device a capture was recorded from, shown while the capture is: the
    // status area and the rotate speed. Nothing of it is ever sent.
    void showCaptureDevice(SettingData* data, std::vector<int> Mac);
    // Whether a capture, rather than a device, is shown; "Refresh state" then says what to do.
    void setCaptureShown(bool shown) { captureShown_ = shown; }
    void onRefreshCilcked();
    void isEnableSetting(bool flag);
    void onOK_Clicked();
    void onCancel_Clicked();
    void onCleanUCWPControl();
    bool isLegalLidarIP();
    bool isLegalLocalIP();
    bool isLegalSubNetMask();
    bool isLegalGateway();

protected:
    // Proposes a subnet mask or a gateway when an empty box takes the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    hvk32::platform::UserPrompts& prompts() const { return sender_.prompts(); }
    void fillComboBoxes();
    void showVersions(const std::vector<int>& status);
    void showSpeedRead();
    // The status area and, until the user or a refresh sets it, the rotate speed.
    void showStatus(SettingData& status, const std::vector<int>& values);
    // The refresh; `quiet` leaves out its messages (the refresh that follows a "Set").
    void refresh(bool quiet);
    // Reports the first address box left half typed; true when there is one.
    bool reportIncompleteAddress();
    hvk32::addresschecks::AddressBoxes addressBoxes() const;
    // Shows the check's message, writes its corrections into the boxes, returns its verdict.
    bool apply(const hvk32::addresschecks::CheckResult& result);

    std::unique_ptr<Ui::InetactionSetupWidgetK32> ui;
    hvk32::device::ConfigPacketSender sender_;
    hvk32::device::Destinations destinations_;
    std::function<QDateTime()> clock_;

    std::array<std::uint8_t, hvk32::configpacket::kPacketSize> ucwpPacket_{};
    SettingData storedStatus_{};
    int storedDataPort_ = 0;   // status value 7
    int storedDevicePort_ = 0; // status value 8
    QString multicastSendAddress_; // the local IP box at the last refresh
    bool statusSeen_ = false;
    bool firstStatus_ = true;
    std::uint16_t multicastPort_ = 0;
    hvk32::device::StoredDeviceInfo stored_;
    bool speedSync_ = true;     // a refresh may move the rotate-speed box to the measured speed
    bool speedFollows_ = true;  // every status moves it, until the user or a refresh sets it
    bool captureShown_ = false;
    // The capture's device, shown again when the form is cleared on opening.
    SettingData captureStatus_{};
    std::vector<int> captureValues_;
};
