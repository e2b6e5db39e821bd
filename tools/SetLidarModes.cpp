#include "tools/SetLidarModes.h"
#include "ui_SetLidarModes.h"

#include <QAbstractButton>
#include <QButtonGroup>

namespace {

const QString kSingleEcho = QStringLiteral("HVK321");
const QString kDualEcho = QStringLiteral("HVK322");

QButtonGroup* exclusiveGroup(QObject* owner, QAbstractButton* id0, QAbstractButton* id1)
{
    auto* group = new QButtonGroup(owner);
    group->setExclusive(true);
    group->addButton(id0, 0);
    group->addButton(id1, 1);
    return group;
}

} // namespace

SetLidarModes::SetLidarModes(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::SetLidarModes>())
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window);
    initSetting();
}

SetLidarModes::~SetLidarModes() = default;

void SetLidarModes::initSetting()
{
    echoGroup_ = exclusiveGroup(this, ui->checkBox_FirstEcho, ui->checkBox_SecondEcho);
    degreeGroup_ = exclusiveGroup(this, ui->checkBox_1_degree, ui->checkBox_033_degree);
    accuracyGroup_ = exclusiveGroup(this, ui->checkBox_025cm, ui->checkBox_04cm);
    connect(echoGroup_, &QButtonGroup::idClicked, this, &SetLidarModes::selectEchoMode);
    connect(degreeGroup_, &QButtonGroup::idClicked, this, &SetLidarModes::selectDegreeMode);
    connect(accuracyGroup_, &QButtonGroup::idClicked, this, &SetLidarModes::selectAccuaryMode);
    connect(ui->okModePushButton, &QPushButton::clicked, this, &SetLidarModes::onOkButton);

    // The distance resolution is kept and sent but not offered.
    ui->checkBox_025cm->setVisible(false);
    ui->checkBox_04cm->setVisible(false);
    ui->label_3->setVisible(false);
}

void SetLidarModes::selectEchoMode(int id)
{
    echoMode_ = id != 0 ? kDualEcho : kSingleEcho;
}

void SetLidarModes::selectDegreeMode(int mode)
{
    degreeMode_ = mode != 0 ? 1 : 0;
}

void SetLidarModes::selectAccuaryMode(int mode)
{
    accuaryMode_ = mode != 0 ? 1 : 0;
}

void SetLidarModes::onOkButton()
{
    emit sendConfig(echoMode_, degreeMode_, accuaryMode_);
}

void SetLidarModes::clickButton(QButtonGroup* group, int id)
{
    if (QAbstractButton* button = group->button(id))
        button->click(); // through the group's idClicked, like a click of the user
}

void SetLidarModes::setConfig(QString echoMode, int degreeMode, int accuaryMode)
{
    if (echoMode == kSingleEcho)
        clickButton(echoGroup_, 0);
    else if (echoMode == kDualEcho)
        clickButton(echoGroup_, 1);
    clickButton(degreeGroup_, degreeMode);
    clickButton(accuracyGroup_, accuaryMode);
}
