#include "app/RecordingSession.h"

#include "receivers/CaptureRecorder.h"
#include "io/SocketRecorder.h"
#include "platform/PacketCapture.h"
#include "view/RecordingStatusText.h"

#include <QFile>

namespace {

constexpr int kStatusIntervalMs = 500;

} // namespace

RecordingSession::RecordingSession(QObject* parent)
    : QObject(parent), recorder_(std::make_unique<hvk32::CaptureRecorder>()),
      socketRecorder_(std::make_unique<hvk32::SocketRecorder>())
{
    connect(&statusTimer_, &QTimer::timeout, this, &RecordingSession::update);
}

RecordingSession::~RecordingSession()
{
    close();
}

QString RecordingSession::recorderInUse() const
{
    switch (kind_) {
    case Kind::Adapter: return QStringLiteral("adapter");
    case Kind::Socket: return QStringLiteral("socket");
    case Kind::None: break;
    }
    return QString();
}

hvk32::RecordingCounts RecordingSession::counts() const
{
    if (kind_ == Kind::Adapter) {
        hvk32::RecordingCounts counts;
        counts.packets = recorder_->framesWritten();
        counts.bytes = recorder_->bytesWritten();
        counts.receiveBufferDrops = recorder_->bufferDrops();
        counts.files = 1;
        return counts;
    }
    return socketRecorder_->counts();
}

void RecordingSession::start(const QString& file, const Ports& ports)
{
    ports_ = ports;
    const QString forced = qEnvironmentVariable("HVK32_RECORDER").trimmed().toLower();
    if (!forced.isEmpty() && forced != QLatin1String("adapter") && forced != QLatin1String("socket")) {
        emit recordingChanged(false);
        emit warning(tr("HVK32_RECORDER must be \"adapter\" or \"socket\", not \"%1\".").arg(forced));
        return;
    }
    if (forced == QLatin1String("socket")) {
        startSocket(file, tr("Recording from the window's own sockets, as HVK32_RECORDER asks"));
        return;
    }

    hvk32::RecorderSettings settings;
    settings.fileName = QFile::encodeName(file).toStdString();
    settings.dataPortText = ports.data.toStdString();
    settings.telemetryPortText = ports.telemetry.trimmed().toStdString();
    settings.deviceAddress = ports.deviceAddress;
    std::string error;
    if (recorder_->start(settings, &error)) {
        begin(Kind::Adapter, file);
        emit statusMessage(tr("Recording by adapter capture on %1, filter \"%2\"")
                               .arg(QString::fromStdString(recorder_->deviceName()),
                                    QString::fromStdString(recorder_->filter())),
                           0);
        return;
    }
    if (recorder_->startDenied() && forced.isEmpty()) {
        startSocket(file, tr("No capture rights on this account: recording from the window's own sockets"));
        return;
    }
    emit recordingChanged(false);
    QString text = tr("Recording could not start: %1").arg(QString::fromStdString(error));
    if (recorder_->startDenied())
        text += "\n\n" + QString::fromStdString(hvk32::platform::captureRightsHint())
            + tr(" Without them, leave HVK32_RECORDER unset or set it to \"socket\": the window then records "
                 "the datagrams its own sockets receive.");
    emit warning(text);
}

void RecordingSession::startSocket(const QString& file, const QString& reason)
{
    hvk32::SocketRecorder::Options options;
    options.socketsNew = false; // the receivers' sockets may have dropped datagrams before
    QString error;
    if (!socketRecorder_->start(file, options, &error)) {
        emit recordingChanged(false);
        emit warning(tr("Recording could not start: %1").arg(error));
        return;
    }
    begin(Kind::Socket, file);
    emit statusMessage(tr("%1 (ports %2 and %3)").arg(reason, ports_.data, ports_.telemetry), 0);
}

void RecordingSession::begin(Kind kind, const QString& file)
{
    kind_ = kind;
    file_ = file;
    clock_.start();
    noPacketWarned_ = false;
    emit recordingChanged(true);
    update();
    statusTimer_.start(kStatusIntervalMs);
}

void RecordingSession::stop()
{
    QString failure;
    if (kind_ == Kind::Adapter) {
        failure = QString::fromStdString(recorder_->workerError());
        recorder_->stop();
    } else if (kind_ == Kind::Socket) {
        socketRecorder_->stop();
        failure = socketRecorder_->error();
    }
    const hvk32::RecordingCounts written = counts();
    kind_ = Kind::None;
    statusTimer_.stop();
    emit statusField(QString(), false, QString());
    emit recordingChanged(false);
    if (!failure.isEmpty())
        emit warning(tr("The recording stopped early: %1\n\n%2 keeps the %3 packets written before.")
                         .arg(failure, file_)
                         .arg(written.packets));
    else
        emit fileWritten(tr("Recording stopped: %1 packets (%2 MB) written to %3")
                             .arg(written.packets)
                             .arg(static_cast<double>(written.bytes) / hvk32::kBytesPerMegabyte, 0, 'f', 1)
                             .arg(file_),
                         file_);
}

void RecordingSession::close()
{
    statusTimer_.stop();
    recorder_->stop();
    socketRecorder_->stop();
    kind_ = Kind::None;
}

void RecordingSession::update()
{
    if (!isRecording())
        return;
    const bool failed = kind_ == Kind::Adapter ? !recorder_->workerError().empty() : !socketRecorder_->isRecording();
    if (failed) {
        stop(); // a write failed: say so now, not at the next press of the button
        return;
    }
    const hvk32::RecordingCounts now = counts();
    hvk32::RecordingProgress progress;
    progress.adapter = kind_ == Kind::Adapter;
    if (progress.adapter) {
        progress.adapterName = QString::fromStdString(recorder_->deviceName());
        progress.filter = QString::fromStdString(recorder_->filter());
    }
    progress.dataPort = ports_.data;
    progress.telemetryPort = ports_.telemetry;
    progress.elapsedMs = clock_.elapsed();
    progress.packets = now.packets;
    progress.bytes = now.bytes;
    progress.receiveBufferDrops = now.receiveBufferDrops;
    const hvk32::RecordingStatusText text = hvk32::recordingStatusText(progress);
    emit statusField(text.field, text.nothingYet, file_);
    if (text.nothingYet && !noPacketWarned_) {
        noPacketWarned_ = true;
        emit statusMessage(text.warning, 0);
    } else if (now.packets > 0 && noPacketWarned_) {
        noPacketWarned_ = false;
        emit clearMessage();
    }
}
