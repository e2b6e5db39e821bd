#include "tools/VerticalAngleSetting.h"
#include "ui_VerticalAngleSetting.h"

#include "acquisition/DeviceInfoPacket.h"
#include "tools/UserPrompts.h"

#include <QFont>
#include <QHeaderView>
#include <QLayout>
#include <QScrollBar>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTableView>

#include <cstring>

using namespace hvk32;
using vertical::kChannelCount;

namespace {

const char* const kTipsTitle = QT_TRANSLATE_NOOP("VerticalAngleSetting", "提示");
const char* const kConnectionError = QT_TRANSLATE_NOOP("VerticalAngleSetting", "连接错误");
const char* const kRefreshDone = QT_TRANSLATE_NOOP("VerticalAngleSetting", "刷新成功");
const char* const kSetDone = QT_TRANSLATE_NOOP("VerticalAngleSetting", "设置成功");
const QString kRedText = QStringLiteral("color:red;");

constexpr int kPauseAfterSend = 800;     // [ms] lets the datagram leave
constexpr int kPauseAfterRefresh = 1000; // [ms] lets the device apply the table

constexpr int kHeaderHeight = 40;
constexpr int kGroupColumns = 4; // channel, read-back, set, gap

const char* const kGroupHeaders[kGroupColumns] = {QT_TRANSLATE_NOOP("VerticalAngleSetting", "Channel"),
                                                   QT_TRANSLATE_NOOP("VerticalAngleSetting", "ReView Angle"),
                                                   QT_TRANSLATE_NOOP("VerticalAngleSetting", "Set Angle"), " "};
constexpr int kOneDegreeWidths[kGroupColumns] = {150, 150, 150, 50};
constexpr int kThirdDegreeWidths[kGroupColumns] = {100, 110, 100, 50};
constexpr int kOneDegreeGroups = 2;
constexpr int kThirdDegreeGroups = 4;

int groupCount(int degreeMode) { return degreeMode == vertical::kOneDegreeMode ? kOneDegreeGroups : kThirdDegreeGroups; }

// The last group has no gap column after it.
int columnCount(int degreeMode) { return groupCount(degreeMode) * kGroupColumns - 1; }

int columnWidth(int degreeMode, int column)
{
    const int* widths = degreeMode == vertical::kOneDegreeMode ? kOneDegreeWidths : kThirdDegreeWidths;
    return widths[column % kGroupColumns];
}

int gridWidth(int degreeMode)
{
    int width = 0;
    for (int col = 0; col < columnCount(degreeMode); ++col)
        width += columnWidth(degreeMode, col);
    return width;
}

QStandardItem* centredItem(const QString& text)
{
    auto* item = new QStandardItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

QString angleText(float degrees) { return QString::number(degrees, 'f', 2); }

} // namespace

VerticalAngleSetting::VerticalAngleSetting(platform::UserPrompts* prompts, platform::Pauses* pauses, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::VerticalAngleSetting>()), sender_(prompts, pauses)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window);

    model1_ = new QStandardItemModel(0, columnCount(vertical::kOneDegreeMode), this);
    model033_ = new QStandardItemModel(0, columnCount(vertical::kThirdDegreeMode), this);
    initView();
    connect(ui->updatePushButton, &QPushButton::clicked, this, &VerticalAngleSetting::reflushLidarStatus);
    connect(ui->setPushButton, &QPushButton::clicked, this, &VerticalAngleSetting::SendPacketToLidar);
    degreeMode_ = vertical::kOneDegreeMode;
}

VerticalAngleSetting::~VerticalAngleSetting() = default;

void VerticalAngleSetting::setSetButtonVisible(bool visible)
{
    ui->setPushButton->setVisible(visible);
}

void VerticalAngleSetting::setUpGrid(QTableView* view, QStandardItemModel* model, int degreeMode)
{
    for (int col = 0; col < model->columnCount(); ++col)
        model->setHeaderData(col, Qt::Horizontal, tr(kGroupHeaders[col % kGroupColumns]));
    view->setModel(model);
    QHeaderView* header = view->horizontalHeader();
    header->setFixedHeight(kHeaderHeight);
    if (degreeMode == vertical::kThirdDegreeMode) {
        // The narrower columns of this grid take their titles a point smaller.
        QFont font = header->font();
        if (font.pointSizeF() > 1) {
            font.setPointSizeF(font.pointSizeF() - 1);
            header->setFont(font);
        }
    }
    header->setStretchLastSection(true);
    for (int col = 0; col < model->columnCount(); ++col)
        view->setColumnWidth(col, columnWidth(degreeMode, col));
    view->verticalHeader()->hide();
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void VerticalAngleSetting::initView()
{
    setUpGrid(ui->tableView, model1_, vertical::kOneDegreeMode);
    for (int c = 0; c < kChannelCount; ++c)
        addDataRecord(c, QString(), QString::number(*vertical::nominalAngle(vertical::kOneDegreeMode, c), 'g', 6));
    setUpGrid(ui->tableView_033, model033_, vertical::kThirdDegreeMode);
    for (int c = 0; c < kChannelCount; ++c)
        addDataRecord2(c, QString(), QString::number(*vertical::nominalAngle(vertical::kThirdDegreeMode, c), 'g', 6));
    ui->setPushButton->hide();
}

void VerticalAngleSetting::addRecord(QStandardItemModel* model, int degreeMode, int channel, const QString& reView,
                                     const QString& setData)
{
    const vertical::GridPlace place = vertical::gridPlace(degreeMode, channel);
    if (!place.valid())
        return;
    // Named by the data-packet channel the entry belongs to, as the frames, the point table
    // and the other dialogs name it.
    model->setItem(place.row, place.column, centredItem(QString::number(devinfo::verticalEntryChannel(channel))));
    model->setItem(place.row, place.reViewColumn(), centredItem(reView));
    model->setItem(place.row, place.setColumn(), centredItem(setData));
}

void VerticalAngleSetting::addDataRecord(int channel, QString reView, QString setData)
{
    addRecord(model1_, vertical::kOneDegreeMode, channel, reView, setData);
}

void VerticalAngleSetting::addDataRecord2(int channel, QString reView, QString setData)
{
    addRecord(model033_, vertical::kThirdDegreeMode, channel, reView, setData);
}

QStandardItemModel* VerticalAngleSetting::modelOf(int degreeMode) const
{
    switch (degreeMode) {
    case vertical::kOneDegreeMode: return model1_;
    case vertical::kThirdDegreeMode: return model033_;
    default: return nullptr;
    }
}

void VerticalAngleSetting::writeCell(int channel, bool setColumn, float data)
{
    QStandardItemModel* model = modelOf(degreeMode_);
    const vertical::GridPlace place = vertical::gridPlace(degreeMode_, channel);
    if (!model || !place.valid())
        return;
    model->item(place.row, setColumn ? place.setColumn() : place.reViewColumn())->setText(angleText(data));
}

QString VerticalAngleSetting::setText(int channel) const
{
    QStandardItemModel* model = modelOf(degreeMode_);
    const vertical::GridPlace place = vertical::gridPlace(degreeMode_, channel);
    if (!model || !place.valid())
        return {};
    return model->item(place.row, place.setColumn())->text();
}

void VerticalAngleSetting::reViewData(int channel, float data)
{
    writeCell(channel, false, data);
}

void VerticalAngleSetting::preSetAngleData(int channel, float data)
{
    writeCell(channel, true, data);
}

int VerticalAngleSetting::getAngleDatas(int channel)
{
    if (!modelOf(degreeMode_))
        return 0;
    return vertical::angleHundredths(setText(channel).toFloat());
}

void VerticalAngleSetting::onLidarStatusReceiving_(SettingData* data, std::vector<int> Mac)
{
    if (!data)
        return;
    std::memcpy(&storedStatus_, data, sizeof storedStatus_);
    storedStatusValues_ = std::move(Mac);
}

void VerticalAngleSetting::OnLidarDifoData_(const u_char* data)
{
    stored_.store(data);
}

void VerticalAngleSetting::showAngleMistake(int channel)
{
    ui->label->setStyleSheet(kRedText);
    ui->label->setText(tr("回读：通道%1  偏差大于正负1.5\n").arg(channel));
}

void VerticalAngleSetting::setDegreeMode(int mode)
{
    degreeMode_ = mode;
    QWidget* page = nullptr;
    if (mode == vertical::kOneDegreeMode || mode == vertical::kThirdDegreeMode) {
        for (int c = 0; c < kChannelCount; ++c)
            preSetAngleData(c, *vertical::nominalAngle(mode, c));
        page = mode == vertical::kOneDegreeMode ? ui->page : ui->page_033;
    }
    if (!page)
        return;
    ui->stackedWidget->setCurrentWidget(page);
    // The 0.33-degree grid is wider; grow the window to show all its columns.
    const QTableView* view = mode == vertical::kOneDegreeMode ? ui->tableView : ui->tableView_033;
    const QMargins margins = layout()->contentsMargins();
    const int needed = gridWidth(mode) + 2 * view->frameWidth() + view->verticalScrollBar()->sizeHint().width()
        + margins.left() + margins.right();
    if (width() < needed)
        resize(needed, height());
}

void VerticalAngleSetting::isEnableSetting(bool flag)
{
    ui->setPushButton->setEnabled(flag);
}

void VerticalAngleSetting::reflushLidarStatus()
{
    if (!stored_.sendReady) {
        prompts().information(nullptr, tr(kTipsTitle), tr(kConnectionError));
        return;
    }
    const vertical::ReadBack device = vertical::readBack(storedStatus_.verticalAngles);
    for (int c = 0; c < kChannelCount; ++c)
        reViewData(c, device.angles[c]);
    // A device that reports no table at all leaves the set column as it was.
    if (!device.allZero)
        for (int c = 0; c < kChannelCount; ++c)
            preSetAngleData(c, device.angles[c]);
    ui->label->clear();
    ui->label_2->clear();
    prompts().information(nullptr, tr(kTipsTitle), tr(kRefreshDone));
}

void VerticalAngleSetting::SendPacketToLidar()
{
    if (!stored_.sendReady) {
        prompts().information(nullptr, tr(kTipsTitle), tr(kConnectionError));
        return;
    }
    vertical::Angles setAngles{};
    for (int c = 0; c < kChannelCount; ++c)
        setAngles[c] = setText(c).toFloat();
    const vertical::Build build = vertical::buildVerticalAnglePacket(stored_.packet.data(), setAngles, degreeMode_);
    switch (build.refusal) {
    case vertical::Refusal::None:
        break;
    case vertical::Refusal::Deviation: {
        const QString text =
            QStringLiteral("设置：通道%1  偏差大于正负1.5，请重新输入").arg(devinfo::verticalEntryChannel(build.channel));
        prompts().information(nullptr, tr(kTipsTitle), text);
        ui->label_2->setStyleSheet(kRedText);
        ui->label_2->setText(text);
        return;
    }
    case vertical::Refusal::NoLayout:
        prompts().warning(this, tr("Warning"),
                          tr("No vertical layout is selected, so the table was not sent."));
        return;
    }
    sendBuffer_ = build.packet;

    device::SendSteps steps(this, tr("Warning"), tr("The vertical angles could not be sent to %1:%2."), kPauseAfterSend);
    steps.doneTitle = tr(kTipsTitle);
    steps.doneText = tr(kSetDone);
    steps.refresh = [this] { reflushLidarStatus(); };
    steps.pauseAfterRefresh = kPauseAfterRefresh;
    // A failed send leaves the stored packet good for another try.
    if (sender_.send(sendBuffer_.data(), QString::fromStdString(destinations_.defaultDeviceAddress),
                     destinations_.commandPort, steps))
        stored_.sendReady = false;
}
