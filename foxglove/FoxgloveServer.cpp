#include "foxglove/FoxgloveServer.h"

#include "acquisition/DeviceInfoJson.h"
#include "io/PointCloud2.h"

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <thread>

namespace hvk32::foxglove {

namespace {

using WsServer = websocketpp::server<websocketpp::config::asio>;
using Message = websocketpp::config::asio::message_type;
using Hdl = websocketpp::connection_hdl;

constexpr std::size_t kMaxClientMessage = 1 << 20; // what a client may send in one message
constexpr auto kFlushInterval = std::chrono::milliseconds(2);
constexpr auto kHealthInterval = std::chrono::seconds(1);
constexpr auto kStopWait = std::chrono::seconds(3);
constexpr long kCloseHandshakeMs = 1000;

std::uint64_t nowNs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

// The header of an unmasked final binary WebSocket frame of `length` payload bytes.
std::string binaryFrameHeader(std::uint64_t length)
{
    std::string h(1, static_cast<char>(0x82));
    if (length < 126) {
        h.push_back(static_cast<char>(length));
    } else if (length <= 0xFFFF) {
        h.push_back(static_cast<char>(126));
        h.push_back(static_cast<char>(length >> 8));
        h.push_back(static_cast<char>(length & 0xFF));
    } else {
        h.push_back(static_cast<char>(127));
        for (int i = 7; i >= 0; --i)
            h.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    }
    return h;
}

// A message for every subscriber of a channel: its bytes, shared.
struct Outgoing {
    std::uint32_t channel;
    std::uint64_t timeNs;
    // The payload as a websocketpp message marked prepared: written as it is, after the
    // client's own frame header, so one copy serves every client.
    std::shared_ptr<Message> shared;
};

struct Pending {
    std::uint32_t subscriptionId;
    std::shared_ptr<const Outgoing> message;
};

struct Client {
    WsServer::connection_ptr connection;
    std::map<std::uint32_t, std::uint32_t> subscriptions; // id -> channel
    std::deque<Pending> queue; // waiting for the socket
};

} // namespace

struct Server::Impl {
    ServerOptions options;
    HealthSource health;
    WsServer endpoint;
    std::thread thread;
    std::map<Hdl, Client, std::owner_less<Hdl>> clients;
    std::shared_ptr<const Outgoing> lastDeviceInfo;
    std::unique_ptr<asio::steady_timer> flushTimer, healthTimer, stopTimer;
    bool flushArmed = false;
    bool stopping = false;
    std::string advertise;
    std::string sessionId;
    std::atomic<std::uint16_t> port{0};
    std::atomic<bool> running{false};
    std::atomic<std::uint32_t> connected{0}; // clients.size(), for other threads
    bool started = false; // start() was called

    std::atomic<std::uint64_t> acceptedClients{0}, refusedClients{0}, messagesSent{0}, bytesSent{0},
        framesPublished{0}, framesDropped{0};

    // --- on the server's thread ---

    void sendText(Client& client, const std::string& text)
    {
        client.connection->send(text, websocketpp::frame::opcode::text);
    }

    void status(Client& client, StatusLevel level, const std::string& text)
    {
        sendText(client, statusMessage(level, text));
    }

    void onOpen(Hdl hdl)
    {
        WsServer::connection_ptr connection = endpoint.get_con_from_hdl(hdl);
        if (stopping || static_cast<int>(clients.size()) >= options.maxClients) {
            ++refusedClients;
            websocketpp::lib::error_code ec;
            connection->close(websocketpp::close::status::try_again_later,
                              stopping ? "hvk32: the server is stopping"
                                       : "hvk32: too many clients, this server takes at most "
                                           + std::to_string(options.maxClients),
                              ec);
            return;
        }
        ++acceptedClients;
        Client& client = clients[hdl];
        client.connection = connection;
        connected = static_cast<std::uint32_t>(clients.size());
        sendText(client, serverInfoMessage(sessionId));
        sendText(client, advertise);
    }

    void onClose(Hdl hdl)
    {
        clients.erase(hdl);
        connected = static_cast<std::uint32_t>(clients.size());
        // Every client answered the close: connections still in their handshake do not
        // hold the stop up.
        if (stopping && clients.empty())
            endpoint.stop();
    }

    void onMessage(Hdl hdl, WsServer::message_ptr message)
    {
        const auto found = clients.find(hdl);
        if (found == clients.end())
            return;
        Client& client = found->second;
        if (message->get_opcode() != websocketpp::frame::opcode::text) {
            status(client, StatusLevel::Error,
                   "binary messages are not taken: this server has no client channels or services");
            return;
        }
        const ClientRequest request = parseClientRequest(message->get_payload());
        switch (request.op) {
        case ClientRequest::Op::Invalid:
            status(client, StatusLevel::Error, request.error);
            return;
        case ClientRequest::Op::Subscribe:
            for (const ClientRequest::Subscription& s : request.subscriptions) {
                if (!isChannel(s.channelId)) {
                    status(client, StatusLevel::Error, "subscribe: no channel " + std::to_string(s.channelId));
                    continue;
                }
                if (!client.subscriptions.emplace(s.id, s.channelId).second) {
                    status(client, StatusLevel::Error,
                           "subscribe: subscription id " + std::to_string(s.id) + " is already in use");
                    continue;
                }
                // A late subscriber learns the device at once, not at its next packet.
                if (s.channelId == kDeviceInfoChannel && lastDeviceInfo)
                    enqueue(client, s.id, lastDeviceInfo);
            }
            flush(client);
            return;
        case ClientRequest::Op::Unsubscribe:
            for (const std::uint32_t id : request.subscriptionIds) {
                if (client.subscriptions.erase(id) == 0) {
                    status(client, StatusLevel::Error, "unsubscribe: no subscription " + std::to_string(id));
                    continue;
                }
                for (auto it = client.queue.begin(); it != client.queue.end();)
                    it = it->subscriptionId == id ? client.queue.erase(it) : it + 1;
            }
            return;
        }
    }

    // Queues a message; past the client's limit its oldest waiting frame (else its oldest
    // message) gives way.
    void enqueue(Client& client, std::uint32_t subscriptionId, const std::shared_ptr<const Outgoing>& message)
    {
        client.queue.push_back({subscriptionId, message});
        if (client.queue.size() <= options.clientQueue)
            return;
        auto victim = client.queue.begin();
        for (auto it = client.queue.begin(); it != client.queue.end(); ++it)
            if (it->message->channel == kPointsChannel) {
                victim = it;
                break;
            }
        if (victim->message->channel == kPointsChannel)
            ++framesDropped;
        client.queue.erase(victim);
    }

    // Hands waiting messages to the socket while it has nothing queued behind what it is
    // writing: at most one message waits inside websocketpp, the rest here, bounded.
    void flush(Client& client)
    {
        const WsServer::connection_ptr& c = client.connection;
        while (!client.queue.empty() && c->get_state() == websocketpp::session::state::open
               && c->get_buffered_amount() == 0) {
            const Pending p = client.queue.front();
            client.queue.pop_front();
            const std::string& payload = p.message->shared->get_payload();
            // This client's part: the frame header and the messageData header.
            auto head = std::make_shared<Message>(Message::con_msg_man_ptr(), websocketpp::frame::opcode::binary);
            std::string header = binaryFrameHeader(kMessageDataHeaderSize + payload.size());
            const std::size_t at = header.size();
            header.resize(at + kMessageDataHeaderSize);
            writeMessageDataHeader(p.subscriptionId, p.message->timeNs, &header[at]);
            head->set_header(header);
            head->set_prepared(true);
            // Both parts go into the connection's queue back to back (nothing else runs on
            // this thread meanwhile), so they leave as one frame.
            websocketpp::lib::error_code ec = c->send(head);
            if (!ec)
                ec = c->send(p.message->shared);
            if (ec)
                break;
            ++messagesSent;
            bytesSent += header.size() + payload.size();
        }
        if (!client.queue.empty())
            armFlush();
    }

    void armFlush()
    {
        if (flushArmed || stopping)
            return;
        flushArmed = true;
        flushTimer->expires_after(kFlushInterval);
        flushTimer->async_wait([this](const asio::error_code& ec) {
            flushArmed = false;
            if (ec || stopping)
                return;
            for (auto& [hdl, client] : clients)
                flush(client);
        });
    }

    void deliver(const std::shared_ptr<const Outgoing>& message)
    {
        for (auto& [hdl, client] : clients) {
            bool queued = false;
            for (const auto& [id, channel] : client.subscriptions)
                if (channel == message->channel) {
                    enqueue(client, id, message);
                    queued = true;
                }
            if (queued)
                flush(client);
        }
    }

    void armHealth()
    {
        healthTimer->expires_after(kHealthInterval);
        healthTimer->async_wait([this](const asio::error_code& ec) {
            if (ec || stopping)
                return;
            HealthCounts counts = health ? health() : HealthCounts{};
            counts.stream.frames = framesPublished;
            counts.framesDroppedForSlowClients = framesDropped;
            counts.clients = static_cast<std::uint32_t>(clients.size());
            deliver(makeOutgoing(kHealthChannel, healthJson(counts), nowNs()));
            armHealth();
        });
    }

    static std::shared_ptr<const Outgoing> makeOutgoing(std::uint32_t channel, std::string payload,
                                                        std::uint64_t timeNs)
    {
        auto shared = std::make_shared<Message>(Message::con_msg_man_ptr(), websocketpp::frame::opcode::binary);
        shared->get_raw_payload() = std::move(payload);
        shared->set_prepared(true);
        return std::make_shared<const Outgoing>(Outgoing{channel, timeNs, std::move(shared)});
    }

    void beginStop()
    {
        if (stopping)
            return;
        stopping = true;
        websocketpp::lib::error_code ec;
        endpoint.stop_listening(ec);
        flushTimer->cancel();
        healthTimer->cancel();
        for (auto& [hdl, client] : clients) {
            client.queue.clear();
            client.connection->close(websocketpp::close::status::going_away, "hvk32: the server is stopping", ec);
        }
        if (clients.empty()) {
            endpoint.stop();
            return;
        }
        // Clients that do not answer the close do not hold the stop up.
        stopTimer->expires_after(kStopWait);
        stopTimer->async_wait([this](const asio::error_code& e) {
            if (!e)
                endpoint.stop();
        });
    }
};

Server::Server() : impl_(std::make_unique<Impl>()) {}

Server::~Server() { stop(); }

bool Server::start(const ServerOptions& options, HealthSource health, std::string* error)
{
    stop();
    // A server that served before starts afresh (its endpoint initialises once).
    if (impl_->started)
        impl_ = std::make_unique<Impl>();
    Impl& d = *impl_;
    d.started = true;
    d.options = options;
    d.health = std::move(health);
    d.advertise = advertiseMessage(ros2::pointCloud2Definition(), deviceInfoJsonSchema().toStdString());
    d.sessionId = std::to_string(nowNs());
    WsServer& e = d.endpoint;
    e.clear_access_channels(websocketpp::log::alevel::all);
    e.clear_error_channels(websocketpp::log::elevel::all);
    websocketpp::lib::error_code ec;
    e.init_asio(ec);
    if (ec) {
        if (error)
            *error = ec.message();
        return false;
    }
    e.set_reuse_addr(true);
    e.set_max_message_size(kMaxClientMessage);
    e.set_close_handshake_timeout(kCloseHandshakeMs);
    e.set_validate_handler([&d](Hdl hdl) {
        WsServer::connection_ptr c = d.endpoint.get_con_from_hdl(hdl);
        const std::string chosen = chooseSubprotocol(c->get_requested_subprotocols());
        if (chosen.empty()) {
            c->set_status(websocketpp::http::status_code::bad_request);
            c->set_body(std::string("This Foxglove WebSocket server speaks the subprotocol ") + kSubprotocol + " (or "
                        + kNewSubprotocol + ") only.\n");
            return false;
        }
        c->select_subprotocol(chosen);
        return true;
    });
    e.set_http_handler([&d](Hdl hdl) {
        WsServer::connection_ptr c = d.endpoint.get_con_from_hdl(hdl);
        c->set_status(websocketpp::http::status_code::upgrade_required);
        c->append_header("Upgrade", "websocket");
        c->set_body(std::string("This is a Foxglove WebSocket server (") + kSubprotocol
                    + "): open it in Foxglove as a Foxglove WebSocket connection.\n");
    });
    e.set_open_handler([&d](Hdl hdl) { d.onOpen(hdl); });
    e.set_close_handler([&d](Hdl hdl) { d.onClose(hdl); });
    e.set_fail_handler([&d](Hdl hdl) { d.onClose(hdl); });
    e.set_message_handler([&d](Hdl hdl, WsServer::message_ptr m) { d.onMessage(hdl, std::move(m)); });

    const asio::ip::address address = asio::ip::make_address(options.address, ec);
    if (ec) {
        if (error)
            *error = "'" + options.address + "' is not an IP address";
        return false;
    }
    e.listen(asio::ip::tcp::endpoint(address, options.port), ec);
    if (!ec)
        e.start_accept(ec);
    if (ec) {
        if (error)
            *error = "cannot listen on " + options.address + ":" + std::to_string(options.port) + ": " + ec.message();
        websocketpp::lib::error_code ignored;
        e.stop_listening(ignored);
        return false;
    }
    d.port = e.get_local_endpoint(ec).port();
    d.flushTimer = std::make_unique<asio::steady_timer>(e.get_io_service());
    d.healthTimer = std::make_unique<asio::steady_timer>(e.get_io_service());
    d.stopTimer = std::make_unique<asio::steady_timer>(e.get_io_service());
    d.armHealth();
    d.running = true;
    d.thread = std::thread([&d] {
        // A failure inside a handler ends the serving, not the program.
        try {
            d.endpoint.run();
        } catch (const std::exception&) {
        }
    });
    return true;
}

std::uint16_t Server::port() const { return impl_->port; }

void Server::publishPoints(std::string cdr, std::uint64_t timeNs)
{
    Impl& d = *impl_;
    if (!d.running)
        return;
    ++d.framesPublished;
    asio::post(d.endpoint.get_io_service(), [&d, cdr = std::move(cdr), timeNs]() mutable {
        if (!d.stopping)
            d.deliver(Impl::makeOutgoing(kPointsChannel, std::move(cdr), timeNs));
    });
}

void Server::publishDeviceInfo(std::string json, std::uint64_t timeNs)
{
    Impl& d = *impl_;
    if (!d.running)
        return;
    asio::post(d.endpoint.get_io_service(), [&d, json = std::move(json), timeNs]() mutable {
        if (d.stopping)
            return;
        d.lastDeviceInfo = Impl::makeOutgoing(kDeviceInfoChannel, std::move(json), timeNs);
        d.deliver(d.lastDeviceInfo);
    });
}

void Server::stop()
{
    Impl& d = *impl_;
    if (!d.running.exchange(false))
        return;
    asio::post(d.endpoint.get_io_service(), [&d] { d.beginStop(); });
    d.thread.join();
}

std::uint32_t Server::connectedClients() const
{
    return impl_->running ? impl_->connected.load() : 0;
}

ServerSummary Server::summary() const
{
    const Impl& d = *impl_;
    ServerSummary s;
    s.clients = d.acceptedClients;
    s.refusedClients = d.refusedClients;
    s.messagesSent = d.messagesSent;
    s.bytesSent = d.bytesSent;
    s.framesPublished = d.framesPublished;
    s.framesDropped = d.framesDropped;
    return s;
}

} // namespace hvk32::foxglove
