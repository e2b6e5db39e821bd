#include "tools/SaveDataOptions.h"

#include "tools/UserPrompts.h"
#include "records/AngleValues.h"
#include "ui_SaveDataOptions.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTableWidgetItem>

namespace {

enum Column { kBoxColumn, kChannelColumn, kAngleColumn, kColumnCount };
constexpr int kLineCount = 32;
constexpr int kBoxColumnWidth = 28;
constexpr float kFullTurn = 360.0f;
constexpr float kEqualRangeWidening = 0.5f; // an empty range becomes one degree wide

bool withinTurn(float angle) { return angle >= 0.0f && angle <= kFullTurn; } // false for NaN too

} // namespace

SaveDataOptions::SaveDataOptions(hvk32::platform::UserPrompts* prompts, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::SaveDataOptions>()), prompts_(prompts)
{
    if (prompts_ == nullptr) {
        ownPrompts_ = std::make_unique<hvk32::platform::MessageBoxPrompts>();
        prompts_ = ownPrompts_.get();
    }
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window);
    setWindowModality(Qt::ApplicationModal);
    setupTable();

    connect(ui->checkBox_selectAll, &QCheckBox::clicked, this, &SaveDataOptions::SelectAllClicked);
    connect(ui->pushButton_cancel, &QPushButton::clicked, this, &SaveDataOptions::onCancel_Clicked);
    connect(ui->pushButton_ok, &QPushButton::clicked, this, &SaveDataOptions::onOk_Clicked);
}

SaveDataOptions::~SaveDataOptions() = default;

void SaveDataOptions::setupTable()
{
    QTableWidget* table = ui->tableWidget_lines;
    table->setColumnCount(kColumnCount);
    table->setRowCount(kLineCount);
    table->setHorizontalHeaderLabels({" ", "Channel", "Vertical Angle"});
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectItems);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);

    QHeaderView* header = table->horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(kBoxColumn, QHeaderView::Fixed);
    header->resizeSection(kBoxColumn, kBoxColumnWidth);

    for (int r = 0; r < kLineCount; ++r) {
        auto* box = new QCheckBox;
        box->setObjectName(QStringLiteral("checkBox_line%1").arg(r));
        box->setChecked(true);
        box->setStyleSheet(QStringLiteral("QCheckBox { margin-left: 7px; }")); // centred in its cell
        table->setCellWidget(r, kBoxColumn, box);
        lineBoxes_[r] = box;

        auto* channel = new QTableWidgetItem(QString::number(r));
        channel->setTextAlignment(Qt::AlignCenter);
        table->setItem(r, kChannelColumn, channel);
        auto* angle = new QTableWidgetItem;
        angle->setTextAlignment(Qt::AlignCenter);
        table->setItem(r, kAngleColumn, angle);
    }
    writeAngleColumn(defaultVerticalAngles033);
}

void SaveDataOptions::writeAngleColumn(const float* angles)
{
    for (int r = 0; r < kLineCount; ++r)
        ui->tableWidget_lines->item(r, kAngleColumn)->setText(QString::number(angles[r], 'f', 2));
}

void SaveDataOptions::setLidarAngleType(QString echoMode, int type, int accuaryMode)
{
    Q_UNUSED(echoMode);
    Q_UNUSED(accuaryMode);
    writeAngleColumn(type != 0 ? defaultVerticalAngles033 : defaultVerticalAngles1);
}

void SaveDataOptions::showChannelAngles(const std::array<float, 32>& angles)
{
    writeAngleColumn(angles.data());
}

void SaveDataOptions::SelectAllClicked()
{
    const bool all = ui->checkBox_selectAll->isChecked();
    for (QCheckBox* box : lineBoxes_)
        box->setChecked(all);
}

void SaveDataOptions::onCancel_Clicked()
{
    emit sendOptions(false, 1, 0.0f, kFullTurn, QList<int>());
    close();
}

void SaveDataOptions::onOk_Clicked()
{
    QList<int> lines;
    for (int r = 0; r < kLineCount; ++r)
        if (lineBoxes_[r]->isChecked())
            lines.append(r);

    int frames = 1;
    if (ui->lineEdit_freamCount->text().isEmpty())
        ui->lineEdit_freamCount->setText("1");
    else
        frames = ui->lineEdit_freamCount->text().toInt();

    if (ui->lineEdit_AngleMin->text().isEmpty() || ui->lineEdit_AngleMax->text().isEmpty()) {
        prompts_->warning(nullptr, tr("Warning"), tr("Angle range can not be empty"));
        return;
    }
    float angleMin = ui->lineEdit_AngleMin->text().toFloat();
    float angleMax = ui->lineEdit_AngleMax->text().toFloat();
    if (!withinTurn(angleMin) || !withinTurn(angleMax)) {
        prompts_->warning(nullptr, tr("Warning"), tr("Invalid angle"));
        return;
    }
    if (angleMin > angleMax) {
        prompts_->warning(nullptr, tr("Warning"), tr("Angle range invalid"));
        return;
    }
    if (angleMin == angleMax) {
        angleMin -= kEqualRangeWidening;
        angleMax += kEqualRangeWidening;
    }
    emit sendOptions(true, frames, angleMin, angleMax, lines);
    close();
}
