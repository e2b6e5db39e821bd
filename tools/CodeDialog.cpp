#include "tools/CodeDialog.h"
#include "ui_CodeDialog.h"

CodeDialog::CodeDialog(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CodeDialog>())
{
    Q_INIT_RESOURCE(resources); // the window icon lives in a static library
    ui->setupUi(this);
    connect(ui->pushButton_ok, &QPushButton::clicked, this, &CodeDialog::onOKClick);
    connect(ui->pushButton_cancel, &QPushButton::clicked, this, &CodeDialog::onCancelClick);
}

CodeDialog::~CodeDialog() = default;

void CodeDialog::onOKClick()
{
    emit sendCode(ui->lineEdit->text());
    ui->lineEdit->clear();
    close();
}

void CodeDialog::onCancelClick()
{
    ui->lineEdit->clear();
    close();
}
