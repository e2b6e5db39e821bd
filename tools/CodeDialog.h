#pragma once
// Asks for a code in a masked line edit and hands it on with sendCode.

#include "ui_CodeDialog.h"

#include <QDialog>
#include <QString>

class CodeDialog : public QDialog {
    Q_OBJECT
public:
    explicit CodeDialog(QWidget* parent = nullptr);

signals:
    void sendCode(QString code);

private slots:
    void onOKClick();
    void onCancelClick();

private:
    Ui_CodeDialog ui;
};
