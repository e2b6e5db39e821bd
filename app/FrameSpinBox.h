#pragma once
// The "go to frame" box of the Offline tab. A number above the last frame can be typed whole
// and goes to the last frame, instead of its last digits being refused. Enter reports
// `entered`, so that the window can give the keys back to the view.

#include <QSpinBox>

class FrameSpinBox : public QSpinBox {
    Q_OBJECT
public:
    explicit FrameSpinBox(QWidget* parent = nullptr);

    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

signals:
    void entered();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
