#pragma once
// The "View" tab's tool row: point size, background colour, colour legend, distance filter,
// fit view, save image, export of the frame on screen, and the "Map" mode with its "Save map". It holds the choices and reports
// them; the window applies them.

#include "convert/PointColours.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;
class QToolButton;

// The distance filter as the user set it [m].
struct DistanceChoice {
    bool enabled = false;
    double min = 0.0, max = 0.0;
};

class ViewToolsPanel : public QWidget {
    Q_OBJECT
public:
    explicit ViewToolsPanel(QWidget* parent = nullptr);

    int pointSize() const;
    void setPointSize(int size);
    hvk32::Rgb8 background() const;
    void setBackground(hvk32::Rgb8 colour);
    bool legendShown() const;
    void setLegendShown(bool shown);
    DistanceChoice distanceChoice() const;
    // Whether "Save image" keeps the readout under the mouse in the image.
    bool readoutInImage() const;
    // Whether the "Map" mode is on: the view shows the map of the frames registered so far.
    bool mapMode() const;
    void setMapMode(bool on);

signals:
    void pointSizeChanged(int size);
    void backgroundChanged();
    void legendToggled(bool shown);
    void distanceFilterChanged();
    void fitViewRequested();
    void saveImageRequested();
    void exportFrameRequested();
    void mapModeToggled(bool on);
    void saveMapRequested();

private:
    QToolButton* addButton(const char* objectName, const QString& text, const QString& toolTip);

    QSpinBox* pointSize_;
    QComboBox* background_;
    QCheckBox* legend_;
    QCheckBox* readoutInImage_;
    QCheckBox* mapMode_;
    QCheckBox* distanceFilter_;
    QDoubleSpinBox* minDistance_;
    QDoubleSpinBox* maxDistance_;
};
