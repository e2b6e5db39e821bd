#include "receivers/GetLidardataK32.h"

#include "acquisition/DataPacket.h"

#include <QMutexLocker>

GetLidardataK32::GetLidardataK32(QObject* parent) : UdpReceiverThread(parent) {}

GetLidardataK32::~GetLidardataK32()
{
    // Stop here, while the overrides that run() calls still exist.
    stopAndWait();
}

void GetLidardataK32::setConfiguration(const QString& configuration)
{
    QMutexLocker lock(&mutex_);
    configuration_ = configuration;
    sensorConfig_ = hvk32::sensorConfigFromName(configuration);
}

QString GetLidardataK32::configuration() const
{
    QMutexLocker lock(&mutex_);
    return configuration_;
}

void GetLidardataK32::Receive(int ReturnModel)
{
    returnModel_ = ReturnModel;
}

hvk32::StreamHealth GetLidardataK32::streamHealth() const
{
    std::lock_guard<std::mutex> lock(healthMutex_);
    return health_;
}

void GetLidardataK32::receiveStarted()
{
    assembler_.clear();
    lossDetector_.reset();
    frameStartMicros_ = 0;
    std::lock_guard<std::mutex> lock(healthMutex_);
    health_ = {};
}

void GetLidardataK32::receiveStopped()
{
    // Points collected before a stop are discarded; a restart begins empty.
    assembler_.clear();
}

bool GetLidardataK32::handleDatagram(const std::uint8_t* datagram, std::size_t length)
{
    if (!hvk32::datapacket::isDataPacket(datagram, length))
        return false;
    const hvk32::SensorConfig config = sensorConfig_;
    lossDetector_.setConfiguration(config);
    lossDetector_.addPacket(datagram);
    {
        std::lock_guard<std::mutex> lock(healthMutex_);
        health_ = lossDetector_.health();
    }
    assembler_.setConfiguration(config);
    assembler_.setEchoSelection(returnModel_);
    const std::int64_t received = datagramReceivedMicros();
    if (frameStartMicros_ == 0)
        frameStartMicros_ = received;
    // The packets to decode, in the stream's order: duplicates and late packets left out, a
    // packet far ahead held until the next one tells whether it was a stray.
    for (const hvk32::TakenPacket& taken : lossDetector_.taken())
        assembler_.addPacket(taken.bytes, [this, received](LidarData& frame) {
            ++framesAssembled_;
            lossDetector_.closeFrame(); // the losses counted so far are this frame's
            const std::int64_t started = frameStartMicros_;
            frameStartMicros_ = received; // the next frame begins in this packet
            hvk32::FrameGate* gate = gate_;
            if (gate && !gate->tryEnter())
                return;
            ++framesEmitted_;
            {
                std::lock_guard<std::mutex> lock(timesMutex_);
                relayedMicros_.push_back(started);
            }
            relay_.postBySwap(frame);
            QMetaObject::invokeMethod(this, &GetLidardataK32::deliverFrame, Qt::QueuedConnection);
        });
    discardedStreams_ = assembler_.discardedStreams();
    return true;
}


void GetLidardataK32::deliverFrame()
{
    {
        std::lock_guard<std::mutex> lock(timesMutex_);
        if (!relayedMicros_.empty()) {
            deliveredMicros_ = relayedMicros_.front();
            relayedMicros_.pop_front();
        }
    }
    relay_.deliverOne([this](const LidarData& frame) { emit SendDataK32(frame); });
}
