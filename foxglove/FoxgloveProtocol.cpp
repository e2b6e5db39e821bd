#include "foxglove/FoxgloveProtocol.h"

#include "io/LiveChannels.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace hvk32::foxglove {

namespace {

std::string compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QString text(const std::string& s) { return QString::fromStdString(s); }

// A JSON number that is a whole uint32.
bool readId(const QJsonValue& value, std::uint32_t& out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!(d >= 0 && d <= 4294967295.0) || std::floor(d) != d)
        return false;
    out = static_cast<std::uint32_t>(d);
    return true;
}

ClientRequest invalid(const std::string& why)
{
    ClientRequest request;
    request.error = why;
    return request;
}

} // namespace

bool isChannel(std::uint32_t id) { return id >= kPointsChannel && id <= kHealthChannel; }

const char* topicOf(std::uint32_t channel)
{
    switch (channel) {
    case kPointsChannel: return live::kPointsTopic.c_str();
    case kDeviceInfoChannel: return live::kDeviceInfoTopic.c_str();
    case kHealthChannel: return live::kHealthTopic.c_str();
    default: return "";
    }
}

std::string chooseSubprotocol(const std::vector<std::string>& offered)
{
    for (const std::string& name : offered)
        if (name == kSubprotocol || name == kNewSubprotocol)
            return name;
    return {};
}

std::string serverInfoMessage(const std::string& sessionId)
{
    QJsonObject info;
    info["op"] = "serverInfo";
    info["name"] = "hvk32";
    info["capabilities"] = QJsonArray();
    info["supportedEncodings"] = QJsonArray();
    info["metadata"] = QJsonObject();
    info["sessionId"] = text(sessionId);
    return compact(info);
}

std::string advertiseMessage(const std::string& pointsDefinition, const std::string& deviceInfoSchema)
{
    const auto channel = [](std::uint32_t id, const char* encoding, const char* schemaName, const std::string& schema,
                            const char* schemaEncoding) {
        QJsonObject c;
        c["id"] = static_cast<double>(id);
        c["topic"] = topicOf(id);
        c["encoding"] = encoding;
        c["schemaName"] = schemaName;
        c["schema"] = text(schema);
        c["schemaEncoding"] = schemaEncoding;
        return c;
    };
    QJsonArray channels;
    channels.append(channel(kPointsChannel, "cdr", live::kPointsSchemaName.c_str(), pointsDefinition, "ros2msg"));
    channels.append(channel(kDeviceInfoChannel, "json", live::kDeviceInfoSchemaName.c_str(), deviceInfoSchema, "jsonschema"));
    channels.append(channel(kHealthChannel, "json", live::kHealthSchemaName.c_str(), healthJsonSchema(), "jsonschema"));
    QJsonObject advertise;
    advertise["op"] = "advertise";
    advertise["channels"] = channels;
    return compact(advertise);
}

std::string statusMessage(StatusLevel level, const std::string& message)
{
    QJsonObject status;
    status["op"] = "status";
    status["level"] = static_cast<int>(level);
    status["message"] = text(message);
    return compact(status);
}

ClientRequest parseClientRequest(const std::string& message)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(message), &error);
    if (error.error != QJsonParseError::NoError)
        return invalid("not valid JSON: " + error.errorString().toStdString());
    if (!document.isObject())
        return invalid("not a JSON object");
    const QJsonObject object = document.object();
    if (!object.value("op").isString())
        return invalid("no \"op\" string");
    const std::string op = object.value("op").toString().toStdString();
    ClientRequest request;
    if (op == "subscribe") {
        const QJsonValue list = object.value("subscriptions");
        if (!list.isArray())
            return invalid("subscribe: no \"subscriptions\" array");
        for (const QJsonValue& item : list.toArray()) {
            ClientRequest::Subscription s{};
            if (!item.isObject() || !readId(item.toObject().value("id"), s.id)
                || !readId(item.toObject().value("channelId"), s.channelId))
                return invalid("subscribe: each subscription needs an \"id\" and a \"channelId\" (uint32)");
            request.subscriptions.push_back(s);
        }
        request.op = ClientRequest::Op::Subscribe;
        return request;
    }
    if (op == "unsubscribe") {
        const QJsonValue list = object.value("subscriptionIds");
        if (!list.isArray())
            return invalid("unsubscribe: no \"subscriptionIds\" array");
        for (const QJsonValue& item : list.toArray()) {
            std::uint32_t id = 0;
            if (!readId(item, id))
                return invalid("unsubscribe: subscription ids are uint32 numbers");
            request.subscriptionIds.push_back(id);
        }
        request.op = ClientRequest::Op::Unsubscribe;
        return request;
    }
    return invalid("unsupported operation \"" + op + "\"");
}

void writeMessageDataHeader(std::uint32_t subscriptionId, std::uint64_t timeNs, char* out)
{
    out[0] = 0x01;
    for (int i = 0; i < 4; ++i)
        out[1 + i] = static_cast<char>((subscriptionId >> (8 * i)) & 0xFF);
    for (int i = 0; i < 8; ++i)
        out[5 + i] = static_cast<char>((timeNs >> (8 * i)) & 0xFF);
}

namespace {
const std::vector<const char*> kServerCounts = {"framesDroppedForSlowClients", "clients"};
constexpr char kFramesKey[] = "framesSent";
} // namespace

std::string healthJson(const HealthCounts& c)
{
    return live::healthJson(c.stream, kFramesKey, {{kServerCounts[0], c.framesDroppedForSlowClients}, {kServerCounts[1], c.clients}});
}

const std::string& healthJsonSchema()
{
    static const std::string schema = live::healthJsonSchema(kFramesKey, kServerCounts);
    return schema;
}

} // namespace hvk32::foxglove
