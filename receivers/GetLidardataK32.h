#pragma once
// The live data receiver: receives data packets on the data port, cuts them into
// revolution frames and emits each frame with SendDataK32. Frames are cut in the receiver
// thread and handed through a relay of reused frames; SendDataK32 is emitted in this
// object's own thread, so a receiver there gets the frame without a copy.

#include "acquisition/FrameAssembler.h"
#include "acquisition/FrameGate.h"
#include "acquisition/PacketLossDetector.h"
#include "receivers/FrameRelay.h"
#include "receivers/UdpReceiverThread.h"
#include "records/LidarData.h"
#include "records/SettingData.h"

#include <QMutex>
#include <QString>

#include "records/ByteTypes.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

class GetLidardataK32 : public hvk32::UdpReceiverThread {
    Q_OBJECT
public:
    explicit GetLidardataK32(QObject* parent = nullptr);
    ~GetLidardataK32() override;

    // "HVK321" (single echo) or "HVK322" (dual echo); anything else decodes nothing.
    // Read once per packet.
    void setConfiguration(const QString& configuration);
    QString configuration() const;

    int echoSelection() const { return returnModel_; }

    // Frames are emitted only while the gate lets them through; null: always.
    void setFrameGate(hvk32::FrameGate* gate) { gate_ = gate; }
    std::uint64_t framesEmitted() const { return framesEmitted_; }
    // Frames cut from the stream, whether the gate let them through or not.
    std::uint64_t framesAssembled() const { return framesAssembled_; }
    std::uint64_t discardedStreams() const { return discardedStreams_; }
    // Lost, duplicated and out-of-order data packets since the last start.
    hvk32::StreamHealth streamHealth() const;
    // While SendDataK32 is emitted: when the frame's first data packet arrived (the one in
    // which the previous frame ended), microseconds since 1970.
    std::int64_t frameReceivedMicros() const { return deliveredMicros_; }

public slots:
    // 0 both echoes, 1 strongest (first) echo, 2 second echo; used in dual echo only.
    void Receive(int ReturnModel);

signals:
    // Declared by reference (Qt's signature stays SendDataK32(LidarData)), so a receiver in
    // this thread reads the frame in place; a queued receiver still gets its own copy.
    void SendDataK32(const LidarData& lidardata);
    // Declared for symmetry with the device-info receiver; never emitted here.
    void SendLidarStatusToSettingUI(SettingData* data, std::vector<int> Mac);
    void SendDataDifo(const u_char* data);

protected:
    void receiveStarted() override;
    void receiveStopped() override;
    bool handleDatagram(const std::uint8_t* datagram, std::size_t length) override;

private:
    void deliverFrame();

    mutable QMutex mutex_;
    QString configuration_;
    std::atomic<hvk32::SensorConfig> sensorConfig_{hvk32::SensorConfig::Unknown};
    std::atomic<int> returnModel_{0};
    std::atomic<std::uint64_t> framesEmitted_{0};
    std::atomic<std::uint64_t> framesAssembled_{0};
    std::atomic<std::uint64_t> discardedStreams_{0};
    std::atomic<hvk32::FrameGate*> gate_{nullptr};
    hvk32::FrameAssembler assembler_; // receiver thread only
    hvk32::PacketLossDetector lossDetector_; // receiver thread only
    mutable std::mutex healthMutex_;
    hvk32::StreamHealth health_; // a copy of the detector's, for other threads
    hvk32::FrameRelay relay_;
    std::int64_t frameStartMicros_ = 0; // receiver thread only: of the frame being cut
    std::mutex timesMutex_;
    std::deque<std::int64_t> relayedMicros_; // beside the relay's frames, in the same order
    std::int64_t deliveredMicros_ = 0;       // this object's thread
};
