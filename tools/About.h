#pragma once
// The about window: the program's name and version on the "Software" tab, the connected
// device's hardware and firmware versions on the "Hardware" tab.

#include <QStringList>
#include <QWidget>

#include <memory>

namespace Ui {
class About;
}

class About : public QWidget {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);
    ~About() override;

public slots:
    // Fills the eight version values from the network dialog's list (board 2, board 3 and
    // firmware date, device identifier, then the five version pairs). A shorter list fills
    // what it has and leaves the other values empty.
    void recvVersionInfo(QStringList _version);

private:
    std::unique_ptr<Ui::About> ui;
};
