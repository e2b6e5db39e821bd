#pragma once
// The main window: owns the receivers, connects to the device, waits for its first usable
// device-info record, then starts the data stream and shows the frames.

#include "records/LidarData.h"
#include "records/SettingData.h"
#include "view/FrameRateMeter.h"

#include "ui_manwindow.h"

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class GetLidardataK32;
class GetSetK32;
class QLabel;
class QStandardItemModel;

namespace hvk32::platform {
class UserPrompts;
}

class manwindow : public QMainWindow {
    Q_OBJECT
public:
    // `prompts` shows the message boxes; null means real QMessageBoxes.
    explicit manwindow(hvk32::platform::UserPrompts* prompts = nullptr, QWidget* parent = nullptr);
    ~manwindow() override;

    GetLidardataK32& lidarDataReceiver() { return *getLidarData_; }
    GetSetK32& deviceInfoReceiver() { return *getSet_; }
    std::uint64_t framesReceived() const { return frameMeter_.total(); }

    // The handler of toolButton_Lidar: lock the fields and wait for the device.
    void onConnectLidar();

signals:
    void SendModel(int ReturnMode);
    void SendDegreeMode(int degreeMode);
    void sendSelect(QString s);          // declared for the dialogs' use; not emitted
    void sendVersion(QString _version);  // declared for the dialogs' use; not emitted
    void sendIntensity(std::vector<float> _av);
    void sendAngleMistake(int channel);
    void sendDefaultConfig(QString echoMode, int degreeMode, int accuaryMode);
    void sendEnableSetting(bool flag);
    void sendOffLiveFile(QString fileName);

public slots:
    void receiveDevPacket(SettingData* data, std::vector<int> Mac);
    void onDisconnectLidar();
    void showLidarDataList();
    void liveStartOrPause();
    void CalculateCoordinatesK32(LidarData lidardata);
    void AngleAdjust(double value);
    void AngleAdjust_two(double value);
    void AngleAdjust_three(double value);
    void AngleAdjust_four(double value);
    void onCodeData(QString code);
    void Return_Mode();
    void Return_Degree();
    void recvCalculateIntensity(bool flag);
    void showAngleLinedit_pressed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void installPalette();
    void hideUnusedControls();
    void makeConnections();
    void stopReceivers();
    void updateFrameStatus();

    Ui_manwindowClass ui;
    std::unique_ptr<hvk32::platform::UserPrompts> ownPrompts_;
    hvk32::platform::UserPrompts* prompts_;
    std::unique_ptr<QStandardItemModel> tableModel_;
    std::unique_ptr<GetLidardataK32> getLidarData_;
    std::unique_ptr<GetSetK32> getSet_;

    // Window state.
    std::vector<float> averageIntensities;
    QList<int> channelList;        // 0..31
    LidarData lastFrame;           // copies of the last frame shown
    bool liveFrozen = false;
    int echoSelection = 0;
    int degreeMode = 0;
    int modeKnown = 0;
    bool awaitingDevice = true;
    bool calcIntensity = false;
    double angleAdjust1 = 0.0;
    double angleAdjust2 = 0.0;
    double angleAdjust3 = 0.0;
    double angleAdjust4 = 0.0;
    float displayAngle = 360.0f;
    int dataPort = 2368;

    // Status bar: frames received and their rate.
    QLabel* frameStatusLabel_ = nullptr;
    QTimer frameStatusTimer_;
    QElapsedTimer clock_;
    hvk32::FrameRateMeter frameMeter_;
};
