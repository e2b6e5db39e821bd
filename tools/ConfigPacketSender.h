#pragma once
// What every configuration dialog does with a finished packet: send it once, pause while it
// leaves, say it is done, show what the device now reports and offer to close the window.
// A failed send is reported and ends the sequence, so nothing that did not leave is reported
// as done. The dialogs keep their texts (each in its own translation context) and hand them
// over in SendSteps; this object owns the message boxes and the pauses they all use.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

class QWidget;

namespace hvk32::platform {
class Pauses;
class UserPrompts;
}

namespace hvk32::device {

// The steps after a packet is built, run in this order; an empty text or function, or a
// zero pause, leaves its step out.
struct SendSteps {
    SendSteps() = default;
    // The steps every send starts with: the warning over `window` when the datagram does not
    // leave, and the pause that lets it leave.
    SendSteps(QWidget* window, QString failureTitle, QString failureText, int pauseAfterSend)
        : window(window), failureTitle(std::move(failureTitle)), failureText(std::move(failureText)),
          pauseAfterSend(pauseAfterSend)
    {
    }

    QWidget* window = nullptr;   // parent of the failure warning and the question; closed on Ok
    QString failureTitle;
    QString failureText;         // "%1:%2" take the address and the port
    int pauseAfterSend = 0;      // [ms] lets the datagram leave
    std::function<void()> sent;  // e.g. spends the stored device-info packet
    QWidget* doneParent = nullptr;
    QString doneTitle;
    QString doneText;            // the information box that says the send is done
    int pauseBeforeRefresh = 0;  // [ms] lets the device apply the settings
    std::function<void()> refresh;
    int pauseAfterRefresh = 0;   // [ms]
    QString closeTitle;
    QString closeText;           // the question whether to close the window (Ok / Cancel)
};

class ConfigPacketSender {
public:
    // `prompts` shows every message box (null: real QMessageBoxes); `pauses` makes the waits
    // (null: the system's).
    ConfigPacketSender(platform::UserPrompts* prompts, platform::Pauses* pauses);
    ~ConfigPacketSender();
    ConfigPacketSender(const ConfigPacketSender&) = delete;
    ConfigPacketSender& operator=(const ConfigPacketSender&) = delete;

    platform::UserPrompts& prompts() const { return *prompts_; }
    platform::Pauses& pauses() const { return *pauses_; }

    // Sends the whole 1206-byte packet once; true when the datagram left.
    bool SendPacketDataToLidar(const std::uint8_t* packet, const char* ip_data, std::uint16_t portdata) const;

    // Sends `packet` to address:port and runs `steps`; false (after the warning) when the
    // datagram did not leave.
    bool send(const std::uint8_t* packet, const QString& address, std::uint16_t port, const SendSteps& steps) const;

private:
    std::unique_ptr<platform::UserPrompts> ownPrompts_;
    platform::UserPrompts* prompts_;
    platform::Pauses* pauses_;
};

} // namespace hvk32::device
