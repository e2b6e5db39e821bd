#include "receivers/LiveFrames.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/PointDecoding.h"
#include "records/AngleValues.h"

#include <QEventLoop>
#include <QTimer>

#include <utility>

namespace hvk32 {

LiveFrames::LiveFrames(const Ports& ports) : ports_(ports)
{
    deviceInfo_.setPort(ports.telemetry);
    deviceInfo_.setMulticastGroup(ports.multicast);
    dataReceiver_.setPort(ports.data);
    dataReceiver_.setMulticastGroup(ports.multicast);
    // The first device-info packet of a usable device tells the echo mode and the layout;
    // data are received from then on.
    QObject::connect(&deviceInfo_, &GetSetK32::SendLidarStatusToSettingUI, &context_,
                     [this](SettingData*, std::vector<int> status) {
                         if (dataReceiver_.isRunning() || !isUsableDevice(status))
                             return;
                         degreeMode_ = degreeModeOf(status[StatusAngleModeCode]);
                         dataReceiver_.setConfiguration(echoConfigurationOf(status[StatusEchoMode]));
                         dataReceiver_.start(QThread::InheritPriority);
                     });
    // Emitted in this thread; one pass of the event loop may deliver several frames.
    QObject::connect(&dataReceiver_, &GetLidardataK32::SendDataK32, &context_,
                     [this](const LidarData& frame) { arrived_.push_back(frame); });
}

LiveFrames::~LiveFrames()
{
    stop();
}

void LiveFrames::start()
{
    deviceInfo_.start(QThread::InheritPriority);
}

bool LiveFrames::next(int waitMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto arrival = QObject::connect(&dataReceiver_, &GetLidardataK32::SendDataK32, &loop, &QEventLoop::quit);
    // A frame already posted is delivered by the first pass of the loop.
    loop.processEvents(QEventLoop::AllEvents);
    if (arrived_.empty()) {
        timer.start(waitMs);
        loop.exec();
    }
    QObject::disconnect(arrival);
    if (arrived_.empty())
        return false;
    std::swap(frame_, arrived_.front());
    arrived_.pop_front();
    ++frameNumber_;
    lostPackets_ = lost_.take(dataReceiver_.streamHealth());
    return true;
}

void LiveFrames::stop()
{
    deviceInfo_.stopAndWait();
    dataReceiver_.stopAndWait();
}

bool LiveFrames::dualEcho() const
{
    return dataReceiver_.configuration() == dualEchoConfigName();
}

std::array<float, 4> LiveFrames::offsetAngles() const
{
    return publishedOffsetAngles();
}

} // namespace hvk32
