#pragma once
// The window that shows the device's 32 vertical angles next to the nominal table of the
// current layout and writes a new table to the device. "刷新" reads the angles of the last
// device-info record into the read-back column and, unless the device reports none, into the
// set column; "设置" checks the set column against the nominal table and sends it in one
// packet built on the last device-info packet.

#include "device/Destinations.h"
#include "device/StoredDeviceInfo.h"
#include "device/VerticalAnglePacket.h"
#include "records/SettingData.h"
#include "tools/ConfigPacketSender.h"

#include <QString>
#include <QWidget>

#include "records/ByteTypes.h"

#include <memory>
#include <vector>

class QStandardItemModel;
class QTableView;

namespace hvk32::platform {
class Pauses;
class UserPrompts;
}

namespace Ui {
class VerticalAngleSetting;
}

class VerticalAngleSetting : public QWidget {
    Q_OBJECT
public:
    // `prompts` shows every message box (null: real QMessageBoxes); `pauses` makes the waits
    // around a write (null: the system's).
    explicit VerticalAngleSetting(hvk32::platform::UserPrompts* prompts, hvk32::platform::Pauses* pauses = nullptr,
                                  QWidget* parent = nullptr);
    ~VerticalAngleSetting() override;

    // The table goes to destinations.defaultDeviceAddress at destinations.commandPort.
    void setDestinations(const hvk32::device::Destinations& destinations) { destinations_ = destinations; }
    // "设置" starts hidden; an engineering session shows it.
    void setSetButtonVisible(bool visible);

    // Sends the whole 1206-byte packet once; true when the datagram left.
    bool SendPacketDataToLidar(unsigned char* packet, const char* ip_data, u_short portdata)
    {
        return sender_.SendPacketDataToLidar(packet, ip_data, portdata);
    }

signals:
    void getVerticalAngle(); // declared for other windows' use; not emitted

public slots:
    void onLidarStatusReceiving_(SettingData* data, std::vector<int> Mac);
    void OnLidarDifoData_(const u_char* data);
    void showAngleMistake(int channel);
    void setDegreeMode(int mode);
    void isEnableSetting(bool flag);

private slots:
    void initView();
    void addDataRecord(int channel, QString reView, QString setData);
    void addDataRecord2(int channel, QString reView, QString setData);
    void reViewData(int channel, float data);
    void preSetAngleData(int channel, float data);
    int getAngleDatas(int channel);
    void reflushLidarStatus();
    void SendPacketToLidar();

private:
    hvk32::platform::UserPrompts& prompts() const { return sender_.prompts(); }
    void setUpGrid(QTableView* view, QStandardItemModel* model, int degreeMode);
    void addRecord(QStandardItemModel* model, int degreeMode, int channel, const QString& reView,
                   const QString& setData);
    QStandardItemModel* modelOf(int degreeMode) const;
    void writeCell(int channel, bool setColumn, float data);
    QString setText(int channel) const;

    std::unique_ptr<Ui::VerticalAngleSetting> ui;
    hvk32::device::ConfigPacketSender sender_;
    hvk32::device::Destinations destinations_;

    int degreeMode_ = hvk32::vertical::kOneDegreeMode;
    // Both the refresh and the write need a device-info packet that arrived since the last
    // write (sendReady); a refresh does not spend it.
    hvk32::device::StoredDeviceInfo stored_;
    SettingData storedStatus_{};
    std::vector<int> storedStatusValues_;
    hvk32::vertical::Packet sendBuffer_{};
    QStandardItemModel* model1_;
    QStandardItemModel* model033_;
};
