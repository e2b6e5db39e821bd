#pragma once
// Asks for a code in a masked line edit and hands it on with sendCode.

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class CodeDialog;
}

class CodeDialog : public QDialog {
    Q_OBJECT
public:
    explicit CodeDialog(QWidget* parent = nullptr);
    ~CodeDialog() override;

signals:
    void sendCode(QString code);

private slots:
    void onOKClick();
    void onCancelClick();

private:
    std::unique_ptr<Ui::CodeDialog> ui;
};
