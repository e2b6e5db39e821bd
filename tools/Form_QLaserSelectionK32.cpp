#include "tools/Form_QLaserSelectionK32.h"
#include "ui_Form_QLaserSelectionK32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTableWidgetItem>

namespace hvk32::channels {

namespace {

constexpr int kHalf = kRowCount / 2;

const char* const kOneDegreeAngles[kRowCount] = {
    "-16", "-15", "-14", "-13", "-12", "-11", "-10", "-9", "-8", "-7", "-6",
    "-5",  "-4",  "-3",  "-2",  "-1",  "-0",  "1",   "2",  "3",  "4",  "5",
    "6",   "7",   "8",   "9",   "10",  "11",  "12",  "13", "14", "15",
};

const char* const kThirdDegreeAngles[kRowCount] = {
    "-18",   "-15",   "-12", "-10",   "-8",    "-7", "-6",    "-5",    "-4", "-3.33", "-3",
    "-2.66", "-2.33", "-2",  "-1.66", "-1.33", "-1", "-0.66", "-0.33", "0",  "0.33",  "0.66",
    "1",     "1.33",  "1.66", "2",    "3",     "4",  "6",     "8",     "11", "14",
};

// The four column groups of the 0.33-degree grid, as table rows.
constexpr int kColumn1[] = {11, 15, 19, 23};
constexpr int kColumn2[] = {1, 3, 5, 7, 9, 13, 17, 21, 25, 27, 29, 31};
constexpr int kColumn3[] = {0, 2, 4, 6, 8, 12, 16, 20, 24, 26, 28, 30};
constexpr int kColumn4[] = {10, 14, 18, 22};

template <std::size_t N>
bool contains(const int (&rows)[N], int row)
{
    for (int r : rows)
        if (r == row)
            return true;
    return false;
}

bool validRow(int row) { return row >= 0 && row < kRowCount; }

} // namespace

int rowOfChannel(int channel)
{
    if (!validRow(channel))
        return -1;
    return channel % 2 == 0 ? channel / 2 : kHalf + (channel - 1) / 2;
}

int channelOfRow(int row)
{
    if (!validRow(row))
        return -1;
    return row < kHalf ? 2 * row : 2 * (row - kHalf) + 1;
}

int laserIdOfRow(int row)
{
    if (!validRow(row))
        return -1;
    return row % 2 == 0 ? row / 2 : kHalf + (row - 1) / 2;
}

const char* verticalAngleText(int degreeMode, int row)
{
    if (!validRow(row))
        return nullptr;
    switch (degreeMode) {
    case 0: return kOneDegreeAngles[row];
    case 1: return kThirdDegreeAngles[row];
    default: return nullptr;
    }
}

bool rowInColumnGroup(int index, int row)
{
    switch (index) {
    case 1: return contains(kColumn1, row);
    case 2: return contains(kColumn2, row);
    case 3: return contains(kColumn3, row);
    case 4: return contains(kColumn4, row);
    default: return validRow(row);
    }
}

} // namespace hvk32::channels

using namespace hvk32::channels;

namespace {

enum Column { kBoxColumn, kAngleColumn, kLaserIdColumn, kChannelColumn, kColumnCount };
constexpr int kBoxColumnWidth = 28;
constexpr int kRowHeight = 24;

} // namespace

Form_QLaserSelectionK32::Form_QLaserSelectionK32(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::Form_QLaserSelectionK32>())
{
    Q_INIT_RESOURCE(resources); // the window icon lives in a static library
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window | Qt::WindowStaysOnTopHint);
    setFixedSize(size());

    toggle = false;
    for (int c = 0; c < kRowCount; ++c)
        positionMap_[c] = rowOfChannel(c);
    ui->checkBox->setChecked(true);
    for (int r = 0; r < kRowCount; ++r) {
        rowBoxes_[r] = new QCheckBox;
        rowBoxes_[r]->setObjectName(QStringLiteral("checkBox_row%1").arg(r));
        rowBoxes_[r]->setChecked(true);
        rowBoxes_[r]->setStyleSheet(QStringLiteral("QCheckBox { margin-left: 7px; }")); // centred in its cell
        enabled_[r] = 1;
    }
    setupTable();

    connect(ui->checkBox, &QCheckBox::clicked, this, &Form_QLaserSelectionK32::Checkstate);
    connect(ui->checkBox_2, &QCheckBox::clicked, this, &Form_QLaserSelectionK32::Checkstate2);
    connect(ui->pushButton_OK, &QPushButton::clicked, this, &Form_QLaserSelectionK32::onOk_Clicked);
    connect(ui->pushButton_toggleselection, &QPushButton::clicked, this, &Form_QLaserSelectionK32::Parity);
    connect(ui->pushButton_Cancel, &QPushButton::clicked, this, &Form_QLaserSelectionK32::onCancel_Clicked);
    connect(ui->comboBox_033column, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Form_QLaserSelectionK32::select033Column);

    ReceiveDegreeMode(0);
}

Form_QLaserSelectionK32::~Form_QLaserSelectionK32() = default;

void Form_QLaserSelectionK32::setupTable()
{
    QTableWidget* table = ui->tableWidget_laserselection;
    table->setColumnCount(kColumnCount);
    table->setRowCount(kRowCount);
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectItems);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setHorizontalHeaderLabels({" ", "Vertical Angle", "Laser ID", "Channel"});

    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setSectionResizeMode(kBoxColumn, QHeaderView::Fixed);
    header->resizeSection(kBoxColumn, kBoxColumnWidth);
    table->verticalHeader()->setDefaultSectionSize(kRowHeight);

    // The labels are created once and relabelled on a mode change; they are read-only.
    for (int r = 0; r < kRowCount; ++r) {
        for (int col = kAngleColumn; col < kColumnCount; ++col) {
            auto* item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            item->setTextAlignment(Qt::AlignCenter);
            table->setItem(r, col, item);
        }
        table->setCellWidget(r, kBoxColumn, rowBoxes_[r]);
    }
    table->show();
}

void Form_QLaserSelectionK32::writeTextColumns(int mode)
{
    QTableWidget* table = ui->tableWidget_laserselection;
    for (int r = 0; r < kRowCount; ++r) {
        table->item(r, kAngleColumn)->setText(QString::fromLatin1(verticalAngleText(mode, r)));
        table->item(r, kLaserIdColumn)->setText(QString::number(laserIdOfRow(r)));
        table->item(r, kChannelColumn)->setText(QString::number(channelOfRow(r)));
    }
}

int Form_QLaserSelectionK32::channelRow(int channel) const
{
    return channel >= 0 && channel < kRowCount ? positionMap_[channel] : -1;
}

bool Form_QLaserSelectionK32::rowEnabled(int row) const
{
    return row >= 0 && row < kRowCount && enabled_[row] != 0;
}

bool Form_QLaserSelectionK32::channelEnabled(int channel) const
{
    return rowEnabled(channelRow(channel));
}

void Form_QLaserSelectionK32::ReceiveDegreeMode(int ReturnModel)
{
    degreeMode = ReturnModel;
    if (ReturnModel == 0)
        ui->comboBox_033column->hide();
    else if (ReturnModel == 1)
        ui->comboBox_033column->show();
    else
        return;
    writeTextColumns(ReturnModel);
}

void Form_QLaserSelectionK32::onOk_Clicked()
{
    for (int r = 0; r < kRowCount; ++r)
        enabled_[r] = rowBoxes_[r]->isChecked() ? 1 : 0;
}

void Form_QLaserSelectionK32::onCancel_Clicked()
{
    close();
}

void Form_QLaserSelectionK32::Checkstate()
{
    for (QCheckBox* box : rowBoxes_)
        box->setChecked(toggle);
    toggle = !toggle;
}

void Form_QLaserSelectionK32::Parity()
{
    // toggle false: even rows; toggle true: odd rows.
    for (int r = 0; r < kRowCount; ++r)
        rowBoxes_[r]->setChecked((r % 2 == 1) == toggle);
    toggle = !toggle;
}

void Form_QLaserSelectionK32::Checkstate2()
{
    if (!ui->checkBox_2->isChecked())
        return;
    for (QCheckBox* box : rowBoxes_)
        if (box->isChecked())
            box->setChecked(true);
}

void Form_QLaserSelectionK32::select033Column(int index)
{
    for (int r = 0; r < kRowCount; ++r)
        rowBoxes_[r]->setChecked(rowInColumnGroup(index, r));
}
