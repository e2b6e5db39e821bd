#pragma once
// The main window's status bar: the user guide link, the ruler's reading, the selection, the
// frame counters (sent, drawn, skipped, the device's rate), the stream's health (lost packets,
// receive drops) and the recording's field, left to right, and the transient message.

#include <QObject>
#include <QString>

#include <cstdint>

class QLabel;
class QStatusBar;

namespace hvk32 {
struct StreamHealth;
}

// The receive buffer behind the receive-drops field.
struct ReceiveBufferState {
    std::uint64_t drops = 0; // datagrams the system dropped
    int bytes = 0;           // the size granted; 0: unknown
    bool limited = false;    // the system granted less than asked for
};

class WindowStatusBar : public QObject {
    Q_OBJECT
public:
    // Builds the fields into `bar`; `guideUrl` is the user guide the link opens.
    WindowStatusBar(QStatusBar* bar, const QString& guideUrl);

    void showFrames(std::uint64_t sent, std::uint64_t drawn, std::uint64_t skipped, double deviceRate);
    // `lostPercent`: of the last 10 s; above PacketLossMeter::kWarningPercent in the warning colour.
    // `capture`: the health is a played capture's, not the live device's.
    void showStreamHealth(const hvk32::StreamHealth& health, double lostPercent, const ReceiveBufferState& buffer,
                          bool capture = false);
    // The number of selected points; 0 empties the field.
    void showSelection(int count);
    // The ruler's reading; hidden while `visible` is false.
    void showMeasurement(bool visible, const QString& text);
    // The recording's field: hidden for an empty text, in the warning colour with `warn`;
    // `file` leads its tool tip.
    void showRecording(const QString& text, bool warn, const QString& file);

    void showMessage(const QString& text, int timeoutMs = 0);
    void clearMessage();

signals:
    void guideRequested(QString url);

private:
    QLabel* addField(const char* objectName, int stretch = 0);
    QLabel* addWideField(const char* objectName);

    QStatusBar* bar_;
    QLabel* link_;
    QLabel* measurement_; // both points and the distances, selectable to copy
    QLabel* selection_;
    QLabel* framesSent_;
    QLabel* framesDrawn_;
    QLabel* framesSkipped_;
    QLabel* deviceRate_;
    QLabel* lostPackets_;
    QLabel* receiveDrops_;
    QLabel* recording_;
};
