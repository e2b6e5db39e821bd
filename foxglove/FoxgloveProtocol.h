#pragma once
// The Foxglove WebSocket protocol (foxglove.websocket.v1, also named foxglove.sdk.v1) as this
// server speaks it, without sockets: the subprotocol choice, the server's JSON messages
// (serverInfo, advertise, status), the client's requests (subscribe, unsubscribe), the
// binary messageData header and the health message. Plain functions the server and the
// tests call.

#include "io/LiveChannels.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hvk32::foxglove {

constexpr const char* kSubprotocol = "foxglove.websocket.v1";
constexpr const char* kNewSubprotocol = "foxglove.sdk.v1";

// The channels, with their ids in the advertise message.
enum Channel : std::uint32_t { kPointsChannel = 1, kDeviceInfoChannel = 2, kHealthChannel = 3 };
constexpr std::uint32_t kChannelCount = 3;
bool isChannel(std::uint32_t id);
const char* topicOf(std::uint32_t channel);

// The subprotocol to answer a handshake that offers `offered`, or "" when it offers none
// this server speaks (the handshake is then refused).
std::string chooseSubprotocol(const std::vector<std::string>& offered);

enum class StatusLevel { Info = 0, Warning = 1, Error = 2 };

std::string serverInfoMessage(const std::string& sessionId);
// The three channels; `deviceInfoSchema` is the JSON Schema of a device-info message.
std::string advertiseMessage(const std::string& pointsDefinition, const std::string& deviceInfoSchema);
std::string statusMessage(StatusLevel level, const std::string& message);

// A text message from a client, parsed. Anything else than subscribe or unsubscribe with
// well-formed fields is Invalid, with `error` saying why.
struct ClientRequest {
    enum class Op { Subscribe, Unsubscribe, Invalid } op = Op::Invalid;
    struct Subscription {
        std::uint32_t id;
        std::uint32_t channelId;
    };
    std::vector<Subscription> subscriptions; // Subscribe
    std::vector<std::uint32_t> subscriptionIds; // Unsubscribe
    std::string error;
};
ClientRequest parseClientRequest(const std::string& text);

// The first bytes of a binary messageData frame: opcode 0x01, the subscription id (uint32)
// and the receive time in nanoseconds (uint64), little-endian; the payload follows.
constexpr std::size_t kMessageDataHeaderSize = 13;
void writeMessageDataHeader(std::uint32_t subscriptionId, std::uint64_t timeNs, char* out);

// The counts a health message carries: those of the source (receiver or player), whose
// frames the server sets to the frames it published, and the server's own.
struct HealthCounts {
    live::Health stream;
    std::uint64_t framesDroppedForSlowClients = 0;
    std::uint32_t clients = 0;
};
std::string healthJson(const HealthCounts& counts);
const std::string& healthJsonSchema();

} // namespace hvk32::foxglove
