#include "tools/About.h"
#include "ui_About.h"

#include <QLabel>

#include <iterator>

#ifndef HVK32_VERSION
#error "HVK32_VERSION must name the program's version (set by the build)"
#endif

About::About(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::About>())
{
    Q_INIT_RESOURCE(resources); // the window icon lives in a static library
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window);
    ui->label_6->setText(tr("HVK32 Viewer   Version %1").arg(QStringLiteral(HVK32_VERSION)));
}

About::~About() = default;

void About::recvVersionInfo(QStringList _version)
{
    // In the order of the list.
    QLabel* const values[] = {ui->label_2ndFPGA,      ui->label_3ndFPGA,     ui->label_LidarNumber,
                              ui->label_2ndHardware,  ui->label_3ndHardware, ui->label_emisionBoard,
                              ui->label_receiveBoard, ui->label_structVer};
    for (int i = 0; i < static_cast<int>(std::size(values)); ++i)
        values[i]->setText(i < _version.size() ? _version[i] : QString());
}
