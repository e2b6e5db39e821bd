#pragma once
// The window in which the user picks which of the 32 channels are drawn. Rows are the beams
// sorted by vertical angle; "OK" publishes the row check boxes into the enabled flags that the
// cloud builder reads on every frame.

#include <QWidget>

#include <array>
#include <memory>

class QCheckBox;

namespace hvk32::channels {

constexpr int kRowCount = 32;

// Table row of data-packet channel c: c / 2 for even c, 16 + (c - 1) / 2 for odd c.
// -1 for a channel outside 0..31.
int rowOfChannel(int channel);
// Inverse of rowOfChannel: the data-packet channel shown in row r ("Channel" column).
int channelOfRow(int row);
// The "Laser ID" column: 0, 16, 1, 17, ..., 15, 31.
int laserIdOfRow(int row);
// The nominal vertical angle of row r as shown, for degree mode 0 (1-degree layout) or
// 1 (0.33-degree layout); nullptr for any other mode or row.
const char* verticalAngleText(int degreeMode, int row);
// Whether row r is checked by column-group index 1..4 of the 0.33-degree grid; every row is in
// group 0 ("All") and in any unknown index.
bool rowInColumnGroup(int index, int row);

} // namespace hvk32::channels

namespace Ui {
class Form_QLaserSelectionK32;
}

class Form_QLaserSelectionK32 : public QWidget {
    Q_OBJECT
public:
    explicit Form_QLaserSelectionK32(QWidget* parent = nullptr);
    ~Form_QLaserSelectionK32() override;

    // Read by the cloud builder: the channel-to-row map and the per-row enabled flags
    // (1 = drawn), both 32 entries. The flags change only on "OK".
    const int* laserPositionMap() const { return positionMap_.data(); }
    const int* laserEnabled() const { return enabled_.data(); }

    // Out-of-range arguments give -1 / false.
    int channelRow(int channel) const;
    bool rowEnabled(int row) const;
    bool channelEnabled(int channel) const;

public slots:
    void ReceiveDegreeMode(int ReturnModel);

private slots:
    void onOk_Clicked();
    void onCancel_Clicked();
    void Checkstate();
    void Parity();
    void Checkstate2();
    void select033Column(int index);

private:
    void setupTable();
    void writeTextColumns(int degreeMode);

    std::unique_ptr<Ui::Form_QLaserSelectionK32> ui;
    std::array<int, hvk32::channels::kRowCount> positionMap_{};
    std::array<int, hvk32::channels::kRowCount> enabled_{};
    std::array<QCheckBox*, hvk32::channels::kRowCount> rowBoxes_{};
    int degreeMode = 0;
    bool toggle = false; // shared by "All/All no choice" and "Switch selection"
};
