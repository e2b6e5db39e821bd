#pragma once
// Records the device's traffic into a capture file: by capture on a network adapter where
// this account may capture, else from the datagrams the window's own sockets receive
// (HVK32_RECORDER=adapter or HVK32_RECORDER=socket forces either). Keeps the elapsed time and
// the counters, and says what to show while it records (view/RecordingStatusText builds the
// texts); it touches no widget.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>

namespace hvk32 {
class CaptureRecorder;
class SocketRecorder;
struct RecordingCounts;
}

class RecordingSession : public QObject {
    Q_OBJECT
public:
    // Where the device's traffic arrives, as the window's fields say.
    struct Ports {
        QString data;
        QString telemetry;
        // Where the device's datagrams come from, when the receivers have seen any: the
        // adapter that carries them is captured on. All zero: not known.
        std::array<std::uint8_t, 4> deviceAddress{};
    };

    explicit RecordingSession(QObject* parent = nullptr);
    ~RecordingSession() override;

    // The receivers hand it every datagram; it keeps them only while it records.
    hvk32::SocketRecorder& socketRecorder() { return *socketRecorder_; }

    bool isRecording() const { return kind_ != Kind::None; }
    // "adapter", "socket", or empty when idle.
    QString recorderInUse() const;
    hvk32::RecordingCounts counts() const;

    // Starts recording into `file`; what went wrong is told through warning().
    void start(const QString& file, const Ports& ports);
    // Stops at once, whether or not traffic comes, and says what the file holds.
    void stop();
    // Stops without a word: the window is going away.
    void close();

signals:
    void recordingChanged(bool recording);
    void statusMessage(QString text, int timeoutMs);
    // The recording was closed and `text` says where: `file` can be copied.
    void fileWritten(QString text, QString file);
    void clearMessage();
    void warning(QString text);
    // The recording's status field: hidden for an empty text; `warn` in the warning colour.
    void statusField(QString text, bool warn, QString file);

private:
    enum class Kind { None, Adapter, Socket };
    // `reason` says once which recorder is in use and why.
    void startSocket(const QString& file, const QString& reason);
    void begin(Kind kind, const QString& file);
    void update();

    std::unique_ptr<hvk32::CaptureRecorder> recorder_;
    std::unique_ptr<hvk32::SocketRecorder> socketRecorder_;
    Kind kind_ = Kind::None;
    Ports ports_;
    QString file_;
    QElapsedTimer clock_;
    bool noPacketWarned_ = false;
    QTimer statusTimer_;
};
