#pragma once
// The advanced configuration window. It shows the device's advanced state from the last
// status, fills the editable fields from it on "Refresh state", and on "Set" sends one ACWP
// packet built from the stored device-info packet and the form. It also saves a settings
// file, sends the factory reset and runs the GPS time test.

#include "device/ConfigPacket.h"
#include "device/Destinations.h"
#include "device/GpsTimeTest.h"
#include "device/SettingsFile.h"
#include "device/StoredDeviceInfo.h"
#include "records/SettingData.h"
#include "tools/ConfigPacketSender.h"

#include <QDateTime>
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
class ACWPSettingWidgetK32;
}

class ACWPSettingWidgetK32 : public QWidget {
    Q_OBJECT
public:
    // `prompts` shows every message box and file dialog (null: the real ones); `pauses`
    // makes the waits around a send (null: the system's).
    explicit ACWPSettingWidgetK32(hvk32::platform::UserPrompts* prompts, hvk32::platform::Pauses* pauses = nullptr,
                                  QWidget* parent = nullptr);
    ~ACWPSettingWidgetK32() override;

    // Where packets go when the device's reported address is the destination, and the
    // address and port the reset fields start with.
    void setDestinations(const hvk32::device::Destinations& destinations);
    void setCommandPort(std::uint16_t port) { destinations_.commandPort = port; }
    // The local time written into the reset packet and the GPS logs.
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
    // How "Save set file" captures a device-info packet.
    void setSettingsCapture(const hvk32::SettingsCapture& capture) { capture_ = capture; }
    // The address the device's datagrams come from (all zero: not known): "Save set file"
    // captures on the adapter that carries them.
    void setDeviceAddress(const std::array<std::uint8_t, 4>& address) { capture_.deviceAddress = address; }
    // The folder under which the GPS test makes its dated log folders.
    void setGpsLogRoot(const QString& root) { gpsLogRoot_ = root; }

    // Called when the window is opened from the main window: the next "Set" waits for a
    // device-info packet that arrives while the window is open.
    void resetSendReady() { stored_.sendReady = false; }

    // Sends the whole 1206-byte packet once; true when the datagram left.
    bool SendPacketDataToLidar(unsigned char* packet, const char* ip_data, u_short portdata)
    {
        return sender_.SendPacketDataToLidar(packet, ip_data, portdata);
    }

signals:
    void onACWPsend();
    void sendCalculateIntensity(bool flag);

public slots:
    void isEnableSetting(bool flag);
    void onOK_Clicked();
    void onCancel_Clicked();
    void onRefreshbutton_clicked();
    void OnLidarDifoData(const u_char* data);
    void onLidarStatusReceiving(SettingData* data, std::vector<int> Mac);
    void onSaveSettingFile();
    void onRecoverSetting();
    void onCleanACWPControl();
    void GPSTimeTest(SettingData* data);
    bool createTestFile(QString& path);
    void onStartCheck_Clicked();
    void GPS_Checkbox_clicked(int state);
    void recvAvIntensity(std::vector<float> _av);

private:
    hvk32::platform::UserPrompts& prompts() const { return sender_.prompts(); }
    void showPortWarning();
    void stopGpsCheck();

    std::unique_ptr<Ui::ACWPSettingWidgetK32> ui;
    hvk32::device::ConfigPacketSender sender_;
    hvk32::device::Destinations destinations_;
    std::function<QDateTime()> clock_;
    hvk32::SettingsCapture capture_;
    QString gpsLogRoot_;

    hvk32::device::StoredDeviceInfo stored_;
    SettingData storedStatus_{};
    std::vector<int> statusValues_;
    std::array<std::uint8_t, hvk32::configpacket::kPacketSize> acwpPacket_{};
    std::vector<float> averagedIntensities_;

    bool gpsCheckRunning_ = false;
    hvk32::GpsTimeLog gpsLog_; // the two log files and the error count since the last start
};
