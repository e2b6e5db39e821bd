#include "tools/ConfigPacketSender.h"

#include "device/CommandTransport.h"
#include "platform/Pauses.h"
#include "tools/UserPrompts.h"

#include <QWidget>

namespace hvk32::device {

ConfigPacketSender::ConfigPacketSender(platform::UserPrompts* prompts, platform::Pauses* pauses)
    : prompts_(prompts), pauses_(pauses ? pauses : &platform::systemPauses())
{
    if (!prompts_) {
        ownPrompts_ = std::make_unique<platform::MessageBoxPrompts>();
        prompts_ = ownPrompts_.get();
    }
}

ConfigPacketSender::~ConfigPacketSender() = default;

bool ConfigPacketSender::SendPacketDataToLidar(const std::uint8_t* packet, const char* ip_data,
                                               std::uint16_t portdata) const
{
    return device::SendPacketDataToLidar(packet, ip_data, portdata);
}

bool ConfigPacketSender::send(const std::uint8_t* packet, const QString& address, std::uint16_t port,
                              const SendSteps& steps) const
{
    if (!SendPacketDataToLidar(packet, address.toLatin1().constData(), port)) {
        // Nothing left the computer: say so instead of reporting the change as done.
        prompts_->warning(steps.window, steps.failureTitle, steps.failureText.arg(address).arg(port));
        return false;
    }
    const auto pause = [this](int milliseconds) {
        if (milliseconds > 0)
            pauses_->pause(milliseconds);
    };
    pause(steps.pauseAfterSend);
    if (steps.sent)
        steps.sent();
    if (!steps.doneText.isEmpty())
        prompts_->information(steps.doneParent, steps.doneTitle, steps.doneText);
    pause(steps.pauseBeforeRefresh);
    if (steps.refresh)
        steps.refresh();
    pause(steps.pauseAfterRefresh);
    if (!steps.closeText.isEmpty()
        && prompts_->question(steps.window, steps.closeTitle, steps.closeText, QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Ok)
            == QMessageBox::Ok
        && steps.window)
        steps.window->close();
    return true;
}

} // namespace hvk32::device
