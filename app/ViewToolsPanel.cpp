#include "app/ViewToolsPanel.h"

#include "io/OutputFormats.h"
#include "odometry/MapWriter.h"
#include "view/ViewPreferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>

namespace {

constexpr double kDistanceLimit = 1000.0;      // the largest distance the filter takes [m]
constexpr double kDefaultMaxDistance = 200.0;  // the grid's outermost circle [m]

struct Preset {
    const char* name;
    hvk32::Rgb8 colour;
};
constexpr Preset kBackgrounds[] = {
    {QT_TRANSLATE_NOOP("ViewToolsPanel", "Black"), {0, 0, 0}},
    {QT_TRANSLATE_NOOP("ViewToolsPanel", "Dark grey"), {48, 48, 48}},
    {QT_TRANSLATE_NOOP("ViewToolsPanel", "Grey"), {128, 128, 128}},
    {QT_TRANSLATE_NOOP("ViewToolsPanel", "White"), {255, 255, 255}},
};

} // namespace

ViewToolsPanel::ViewToolsPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName("Tab_View");
    // The size the other tabs' rows use, not the tab titles' larger one.
    QFont rowFont = font();
    rowFont.setPointSize(10);
    rowFont.setBold(false);
    setFont(rowFont);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(6);

    auto label = [this, row](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        row->addWidget(l);
        row->addWidget(buddy);
    };

    // The actions first, where a narrow window still shows them.
    addButton("toolButton_fitView", tr("Fit view"), tr("Frame the whole cloud, keeping the direction of view"));
    addButton("toolButton_saveImage", tr("Save image"), tr("Write the 3-D view to a PNG image"));
    readoutInImage_ = new QCheckBox(tr("With readout"), this);
    readoutInImage_->setObjectName("checkBox_readoutInImage");
    readoutInImage_->setToolTip(tr("Keep the distance and azimuth under the mouse in the saved image"));
    row->addWidget(readoutInImage_);
    QStringList formats;
    for (const hvk32::OutputFormatInfo& f : hvk32::outputFormats())
        formats << QLatin1String(f.name);
    addButton("toolButton_exportFrame", tr("Export frame"),
              tr("Write the frame on screen to a file: %1").arg(formats.join(QLatin1String(", "))));

    mapMode_ = new QCheckBox(tr("Map"), this);
    mapMode_->setObjectName("checkBox_map");
    mapMode_->setToolTip(tr("Register the frames shown (a capture playing or the live stream) one after "
                            "another, and show the map they make with the scanner's path"));
    row->addWidget(mapMode_);
    QStringList mapFormats;
    for (const hvk32::OutputFormatInfo& f : hvk32::outputFormats())
        if (hvk32::odometry::isMapFormat(f.format))
            mapFormats << QLatin1String(f.name);
    addButton("toolButton_saveMap", tr("Save map"), tr("Write the map to a file: %1").arg(mapFormats.join(QLatin1String(", "))));

    pointSize_ = new QSpinBox(this);
    pointSize_->setObjectName("spinBox_pointSize");
    pointSize_->setRange(hvk32::kMinPointSize, hvk32::kMaxPointSize);
    pointSize_->setSuffix(tr(" px"));
    pointSize_->setToolTip(tr("Size of the cloud's points (also + and - in the view)"));
    label(tr("Point size:"), pointSize_);

    background_ = new QComboBox(this);
    background_->setObjectName("comboBox_background");
    for (const Preset& p : kBackgrounds)
        background_->addItem(tr(p.name), hvk32::colourName(p.colour));
    label(tr("Background:"), background_);

    legend_ = new QCheckBox(tr("Legend"), this);
    legend_->setObjectName("checkBox_legend");
    legend_->setChecked(true);
    legend_->setToolTip(tr("Scale of the Intensity, Elevation and Azimuth colourings"));
    row->addWidget(legend_);

    distanceFilter_ = new QCheckBox(tr("Distance"), this);
    distanceFilter_->setObjectName("checkBox_distanceFilter");
    distanceFilter_->setToolTip(tr("Show and export only the points within these distances of the scanner"));
    row->addWidget(distanceFilter_);
    minDistance_ = new QDoubleSpinBox(this);
    minDistance_->setObjectName("doubleSpinBox_minDistance");
    maxDistance_ = new QDoubleSpinBox(this);
    maxDistance_->setObjectName("doubleSpinBox_maxDistance");
    for (QDoubleSpinBox* box : {minDistance_, maxDistance_}) {
        box->setDecimals(1);
        box->setSuffix(tr(" m"));
        box->setEnabled(false);
    }
    // Each limit bounds the other, so the range is never empty.
    minDistance_->setRange(0.0, kDefaultMaxDistance);
    maxDistance_->setRange(0.0, kDistanceLimit);
    maxDistance_->setValue(kDefaultMaxDistance);
    row->addWidget(minDistance_);
    label(tr("to"), maxDistance_);

    row->addStretch(1);

    connect(pointSize_, QOverload<int>::of(&QSpinBox::valueChanged), this, &ViewToolsPanel::pointSizeChanged);
    connect(background_, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ViewToolsPanel::backgroundChanged);
    connect(legend_, &QCheckBox::toggled, this, &ViewToolsPanel::legendToggled);
    connect(distanceFilter_, &QCheckBox::toggled, this, [this](bool on) {
        minDistance_->setEnabled(on);
        maxDistance_->setEnabled(on);
        emit distanceFilterChanged();
    });
    connect(minDistance_, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double v) {
        maxDistance_->setMinimum(v);
        emit distanceFilterChanged();
    });
    connect(maxDistance_, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double v) {
        minDistance_->setMaximum(v);
        emit distanceFilterChanged();
    });
    connect(findChild<QToolButton*>("toolButton_fitView"), &QToolButton::clicked, this, &ViewToolsPanel::fitViewRequested);
    connect(findChild<QToolButton*>("toolButton_saveImage"), &QToolButton::clicked, this,
            &ViewToolsPanel::saveImageRequested);
    connect(findChild<QToolButton*>("toolButton_exportFrame"), &QToolButton::clicked, this,
            &ViewToolsPanel::exportFrameRequested);
    connect(mapMode_, &QCheckBox::toggled, this, &ViewToolsPanel::mapModeToggled);
    connect(findChild<QToolButton*>("toolButton_saveMap"), &QToolButton::clicked, this,
            &ViewToolsPanel::saveMapRequested);
}

QToolButton* ViewToolsPanel::addButton(const char* objectName, const QString& text, const QString& toolTip)
{
    auto* button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setText(text);
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    layout()->addWidget(button);
    return button;
}

int ViewToolsPanel::pointSize() const
{
    return pointSize_->value();
}

void ViewToolsPanel::setPointSize(int size)
{
    pointSize_->setValue(size);
}

hvk32::Rgb8 ViewToolsPanel::background() const
{
    hvk32::Rgb8 colour{0, 0, 0};
    hvk32::parseColourName(background_->currentData().toString(), colour);
    return colour;
}

void ViewToolsPanel::setBackground(hvk32::Rgb8 colour)
{
    const QString name = hvk32::colourName(colour);
    int index = background_->findData(name);
    if (index < 0) {
        // A colour kept from an earlier choice that is no preset.
        background_->addItem(name, name);
        index = background_->count() - 1;
    }
    background_->setCurrentIndex(index);
}

bool ViewToolsPanel::readoutInImage() const
{
    return readoutInImage_->isChecked();
}

bool ViewToolsPanel::mapMode() const
{
    return mapMode_->isChecked();
}

void ViewToolsPanel::setMapMode(bool on)
{
    mapMode_->setChecked(on);
}

bool ViewToolsPanel::legendShown() const
{
    return legend_->isChecked();
}

void ViewToolsPanel::setLegendShown(bool shown)
{
    legend_->setChecked(shown);
}

DistanceChoice ViewToolsPanel::distanceChoice() const
{
    return {distanceFilter_->isChecked(), minDistance_->value(), maxDistance_->value()};
}
