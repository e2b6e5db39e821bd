#pragma once
// The window in which the user tells the viewer how the connected device is configured:
// single or dual echo, the 1-degree or 0.33-degree vertical layout and a distance
// resolution. It sends nothing to the device; "OK" hands the three choices to the window.

#include <QString>
#include <QWidget>

#include <memory>

class QButtonGroup;

namespace Ui {
class SetLidarModes;
}

class SetLidarModes : public QWidget {
    Q_OBJECT
public:
    explicit SetLidarModes(QWidget* parent = nullptr);
    ~SetLidarModes() override;

signals:
    void sendConfig(QString echoMode, int degreeMode, int accuaryMode);

public slots:
    // Sets the three groups as if their buttons were clicked; an echo text other than the two
    // configuration strings, or a number without a button, leaves that group as it was.
    void setConfig(QString echoMode, int degreeMode, int accuaryMode);

private slots:
    void initSetting();
    void selectEchoMode(int id);
    void selectDegreeMode(int mode);
    void selectAccuaryMode(int mode);
    void onOkButton();

private:
    static void clickButton(QButtonGroup* group, int id);

    std::unique_ptr<Ui::SetLidarModes> ui;
    QButtonGroup* echoGroup_ = nullptr;
    QButtonGroup* degreeGroup_ = nullptr;
    QButtonGroup* accuracyGroup_ = nullptr;
    QString echoMode_ = QStringLiteral("HVK321");
    int degreeMode_ = 0;
    int accuaryMode_ = 0;
};
