#include "convert/FrameReader.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/PointDecoding.h"

namespace hvk32 {

ConversionSnapshot playedFrameSnapshot(const CapturePlayerCore& player)
{
    return ConversionSnapshot::ofCapture(player.configuration().degreeMode, player.calibration());
}

bool playedFrameDualEcho(const CapturePlayerCore& player)
{
    return player.configuration().echoMode == dualEchoConfigName();
}


bool FrameReader::open(QString* message)
{
    return player_.isOpen() || player_.open(path_, message);
}

bool FrameReader::startAt(int n, QString* message)
{
    if (!open(message))
        return false;
    if (n < 1 || n > index_.frameCount()) {
        if (message)
            *message = QStringLiteral("there is no frame %1 of %2").arg(n).arg(index_.frameCount());
        return false;
    }
    lost_ = LostSinceLastFrame();
    started_ = true;
    player_.start();
    number_ = 0;
    if (n == 1)
        return true;
    if (!player_.seek(index_, n - 1) || !next() || number_ != n - 1) {
        if (message)
            *message = QStringLiteral("frame %1 cannot be read").arg(n);
        return false;
    }
    return true;
}

bool FrameReader::next()
{
    if (!started_ && !startAt(1, nullptr))
        return false;
    if (!player_.nextFrame())
        return false;
    number_ = player_.frameCounter();
    lostPackets_ = lost_.take(player_.streamHealth());
    return true;
}

ConversionSnapshot FrameReader::snapshot() const
{
    return playedFrameSnapshot(player_);
}

bool FrameReader::dualEcho() const
{
    return playedFrameDualEcho(player_);
}

} // namespace hvk32
