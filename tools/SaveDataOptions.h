#pragma once
// The CSV export options: which channels, how many frames and which azimuth range. "OK"
// checks the entries and emits them; the window then asks for the file and runs the export.

#include <QList>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>

class QCheckBox;

namespace Ui {
class SaveDataOptions;
}

namespace hvk32::platform {
class UserPrompts;
}

class SaveDataOptions : public QWidget {
    Q_OBJECT
public:
    // `prompts` shows the warnings; null means real message boxes.
    explicit SaveDataOptions(hvk32::platform::UserPrompts* prompts, QWidget* parent = nullptr);
    ~SaveDataOptions() override;

signals:
    void sendOptions(bool isSave, int freams, float angleMin, float angleMax, QList<int> lines);

public slots:
    void onCancel_Clicked();
    void onOk_Clicked();
    void SelectAllClicked();
    // Shows the built-in vertical angles of the layout: 0.33-degree for a non-zero type.
    void setLidarAngleType(QString echoMode, int type, int accuaryMode);
    // Shows the angle of every channel as the frame on screen is converted with it.
    void showChannelAngles(const std::array<float, 32>& angles);

private:
    void setupTable();
    void writeAngleColumn(const float* angles);

    std::unique_ptr<Ui::SaveDataOptions> ui;
    std::unique_ptr<hvk32::platform::UserPrompts> ownPrompts_;
    hvk32::platform::UserPrompts* prompts_;
    std::array<QCheckBox*, 32> lineBoxes_{};
};
