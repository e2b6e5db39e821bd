#pragma once
// The main window's status bar, in rows so that nothing overlaps on a 1280-pixel screen. What
// is read as text has a row each, shown while it has something to say: the warning that nothing
// arrives, the transient message (with "Copy path" after a file was written), the recording's
// field, where the Serve switch serves, and the ruler's reading. The last row holds the user
// guide link, the selection and the permanent counters: frames (sent, drawn, skipped, the
// device's rate) and the stream's health (lost packets, receive drops).

#include <QObject>
#include <QString>

#include <cstdint>

class QHBoxLayout;
class QVBoxLayout;
class QLabel;
class QStatusBar;
class QToolButton;
class QWidget;

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

    // `capture`: the frames are a played capture's, so the rate is the playback's, not the device's.
    void showFrames(std::uint64_t sent, std::uint64_t drawn, std::uint64_t skipped, double deviceRate,
                    bool capture = false);
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
    // Where the Serve switch serves and to how many clients; hidden for an empty text.
    void showServing(const QString& text);

    // The transient message, whole, on the first row (QStatusBar::currentMessage() holds it).
    void showMessage(const QString& text, int timeoutMs = 0);
    // A message about a file just written: shown longer, with a button that copies `path`.
    void showFileWritten(const QString& text, const QString& path);
    void clearMessage();
    // Nothing has arrived for `seconds` on these ports while connected; 0 clears the warning.
    void showSilence(int seconds, int dataPort, int telemetryPort);
    // The path the "Copy path" button copies; empty while it is hidden.
    QString pathToCopy() const;

signals:
    void guideRequested(QString url);

private:
    QLabel* addField(const char* objectName);
    QLabel* addTextField(const char* objectName);
    void messageChanged(const QString& text);

    QStatusBar* bar_;
    QWidget* panel_;
    QVBoxLayout* rows_;
    QHBoxLayout* counterRow_;
    QLabel* silence_;
    QLabel* message_;
    QToolButton* copyPath_;
    QString writtenText_; // the message the button belongs to
    QString writtenPath_;
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
    QLabel* serving_;
};
