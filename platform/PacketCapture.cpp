#include "platform/PacketCapture.h"

#include "platform/UserText.h"

#include <pcap/pcap.h>

#ifndef _WIN32
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace hvk32::platform {

namespace {

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// The library's own words for a failed activation, or the generic text for its status.
std::string activationError(pcap_t* handle, int status)
{
    const char* text = pcap_geterr(handle);
    if (text && *text)
        return text;
    return pcap_statustostr(status);
}

bool isPermissionError(int status)
{
    return status == PCAP_ERROR_PERM_DENIED || status == PCAP_ERROR_PROMISC_PERM_DENIED;
}

std::array<std::uint8_t, 4> ipv4Bytes(const sockaddr* address)
{
    std::array<std::uint8_t, 4> bytes{};
    if (address && address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        std::memcpy(bytes.data(), &in->sin_addr, bytes.size()); // network order is dotted order
    }
    return bytes;
}

} // namespace

std::string captureRightsHint()
{
    return userText("PacketCapture",
                    QT_TRANSLATE_NOOP("PacketCapture", "Capturing on a network adapter needs capture rights: run the program as "
                                                       "root, or grant them to it once with \"sudo setcap "
                                                       "cap_net_raw,cap_net_admin=eip PROGRAM\" (PROGRAM: the "
                                                       "program's full path)."));
}

std::vector<CaptureAdapter> listCaptureAdapters(std::string* error)
{
    std::vector<CaptureAdapter> adapters;
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* all = nullptr;
    if (pcap_findalldevs(&all, errorBuffer) != 0) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Cannot list the network adapters: %1"), errorBuffer);
        return adapters;
    }
    for (const pcap_if_t* d = all; d; d = d->next) {
        CaptureAdapter adapter;
        adapter.name = d->name;
        adapter.description = d->description ? d->description : "";
        adapter.loopback = (d->flags & PCAP_IF_LOOPBACK) != 0;
        for (const pcap_addr_t* a = d->addresses; a; a = a->next) {
            if (a->addr && a->addr->sa_family == AF_INET)
                adapter.ipv4.push_back({ipv4Bytes(a->addr), ipv4Bytes(a->netmask)});
        }
        // The link type is known only once the adapter is activated.
        if (pcap_t* probe = pcap_create(d->name, errorBuffer)) {
            pcap_set_snaplen(probe, 256);
            const int status = pcap_activate(probe);
            if (status < 0) {
                adapter.probeError = activationError(probe, status);
                adapter.probeDenied = isPermissionError(status);
            }
            else
                adapter.ethernet = pcap_datalink(probe) == DLT_EN10MB;
            pcap_close(probe);
        } else {
            adapter.probeError = errorBuffer;
        }
        adapters.push_back(std::move(adapter));
    }
    pcap_freealldevs(all);
    if (adapters.empty() && error)
        *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "No network adapter was found for capturing."));
    return adapters;
}

int chooseAdapterByRule(const std::vector<CaptureAdapter>& adapters)
{
    int first = -1;
    for (std::size_t k = 0; k < adapters.size(); ++k) {
        const CaptureAdapter& a = adapters[k];
        if (!a.ethernet)
            continue;
        if (first < 0)
            first = static_cast<int>(k);
        if (!a.description.empty() && std::strchr("RIBA", a.description.front()))
            return static_cast<int>(k);
    }
    return first;
}

int chooseAdapterForDevice(const std::vector<CaptureAdapter>& adapters, const std::array<std::uint8_t, 4>& deviceAddress)
{
    if (deviceAddress == std::array<std::uint8_t, 4>{})
        return -1;
    bool local = deviceAddress[0] == 127;
    for (const CaptureAdapter& a : adapters) {
        for (const CaptureAdapter::Ipv4& ip : a.ipv4)
            local = local || ip.address == deviceAddress;
    }
    for (std::size_t k = 0; k < adapters.size(); ++k) {
        const CaptureAdapter& a = adapters[k];
        if (!a.ethernet)
            continue;
        if (local) {
            if (a.loopback)
                return static_cast<int>(k);
            continue;
        }
        for (const CaptureAdapter::Ipv4& ip : a.ipv4) {
            bool inSubnet = ip.netmask != std::array<std::uint8_t, 4>{};
            for (std::size_t b = 0; b < 4; ++b)
                inSubnet = inSubnet && (ip.address[b] & ip.netmask[b]) == (deviceAddress[b] & ip.netmask[b]);
            if (inSubnet)
                return static_cast<int>(k);
        }
    }
    return -1;
}

std::string captureDeviceOverride(const std::string& settingsDevice)
{
    if (!settingsDevice.empty())
        return settingsDevice;
    const char* value = std::getenv("HVK32_CAPTURE_DEVICE");
    return value ? value : "";
}

LiveCapture::~LiveCapture()
{
    close();
}

bool LiveCapture::open(const std::string& device, int readTimeoutMs, std::string* error)
{
    close();
    permissionDenied_ = false;
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_create(device.c_str(), errorBuffer);
    if (!handle) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Cannot open the adapter %1: %2"), quoted(device), errorBuffer);
        return false;
    }
    pcap_set_snaplen(handle, kSnapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_timeout(handle, readTimeoutMs);
    // Deliver every frame as it arrives rather than in batches, so each is written at once.
    pcap_set_immediate_mode(handle, 1);
    pcap_set_buffer_size(handle, kCaptureBufferBytes);
    const int status = pcap_activate(handle);
    if (status < 0) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Cannot open the adapter %1: %2"), quoted(device), activationError(handle, status));
        permissionDenied_ = isPermissionError(status);
        pcap_close(handle);
        return false;
    }
    handle_ = handle;
    device_ = device;
    readTimeoutMs_ = readTimeoutMs;
#ifndef _WIN32
    // Some systems start the read time-out only with the first packet, so a quiet adapter
    // would block forever; waiting by poll() on a non-blocking handle bounds the wait.
    const int fd = pcap_get_selectable_fd(handle);
    if (fd >= 0 && pcap_setnonblock(handle, 1, errorBuffer) == 0)
        selectableFd_ = fd;
#endif
    return true;
}

void LiveCapture::close()
{
    if (handle_) {
        pcap_close(handle_);
        handle_ = nullptr;
    }
    device_.clear();
    selectableFd_ = -1;
}

int LiveCapture::linkType() const
{
    return handle_ ? pcap_datalink(handle_) : -1;
}

std::string LiveCapture::linkTypeName() const
{
    const char* name = handle_ ? pcap_datalink_val_to_name(pcap_datalink(handle_)) : nullptr;
    return name ? name : std::to_string(linkType());
}

bool LiveCapture::setFilter(const std::string& expression, std::string* error)
{
    if (!handle_) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "No adapter is open."));
        return false;
    }
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    bpf_u_int32 network = 0;
    bpf_u_int32 netmask = 0;
    if (pcap_lookupnet(device_.c_str(), &network, &netmask, errorBuffer) != 0)
        netmask = PCAP_NETMASK_UNKNOWN; // an adapter without an IPv4 address
    bpf_program program{};
    if (pcap_compile(handle_, &program, expression.c_str(), 0, netmask) != 0) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Cannot use the capture filter %1: %2"), quoted(expression), pcap_geterr(handle_));
        return false;
    }
    const bool installed = pcap_setfilter(handle_, &program) == 0;
    if (!installed && error)
        *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Cannot install the capture filter %1: %2"), quoted(expression), pcap_geterr(handle_));
    pcap_freecode(&program);
    return installed;
}

CaptureStatus LiveCapture::next(CapturedPacket* packet, std::string* error)
{
    if (!handle_) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "No adapter is open."));
        return CaptureStatus::Failed;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int result = pcap_next_ex(handle_, &header, &data);
#ifndef _WIN32
    if (result == 0 && selectableFd_ >= 0) {
        pollfd wait{selectableFd_, POLLIN, 0};
        const int ready = ::poll(&wait, 1, readTimeoutMs_);
        if (ready < 0 && errno != EINTR) {
            if (error)
                *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Waiting for packets failed: %1"), std::strerror(errno));
            return CaptureStatus::Failed;
        }
        if (ready > 0)
            result = pcap_next_ex(handle_, &header, &data);
    }
#endif
    if (result == 1) {
        packet->seconds = header->ts.tv_sec;
        packet->microseconds = header->ts.tv_usec;
        packet->capturedLength = header->caplen;
        packet->originalLength = header->len;
        packet->data = data;
        return CaptureStatus::Packet;
    }
    if (result == 0 || result == PCAP_ERROR_BREAK)
        return CaptureStatus::TimedOut;
    if (error)
        *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Capturing on the adapter %1 failed: %2"), quoted(device_), pcap_geterr(handle_));
    return CaptureStatus::Failed;
}

std::uint64_t LiveCapture::bufferDrops() const
{
    pcap_stat stats{};
    if (!handle_ || pcap_stats(handle_, &stats) != 0)
        return 0;
    return stats.ps_drop;
}

CaptureDumpFile::~CaptureDumpFile()
{
    close();
}

bool CaptureDumpFile::open(const LiveCapture& source, const std::string& fileName, std::string* error)
{
    close();
    if (!source.handle_) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "No adapter is open."));
        return false;
    }
    // The library takes the name "-" as standard output; that name means a file here.
    const std::string path = fileName == "-" ? "./-" : fileName;
    dumper_ = pcap_dump_open(source.handle_, path.c_str());
    if (!dumper_) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Cannot create the capture file: %1"), pcap_geterr(source.handle_)); // names the file
        return false;
    }
    // The file header must be on disk even if no frame ever comes.
    if (pcap_dump_flush(dumper_) != 0) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Cannot write the capture file %1: %2"), quoted(fileName), std::strerror(errno));
        close();
        return false;
    }
    fileName_ = fileName;
    return true;
}

void CaptureDumpFile::close()
{
    if (dumper_) {
        pcap_dump_close(dumper_);
        dumper_ = nullptr;
    }
    fileName_.clear();
}

bool CaptureDumpFile::write(const CapturedPacket& packet, std::string* error)
{
    if (!dumper_) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "No capture file is open."));
        return false;
    }
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<decltype(header.ts.tv_sec)>(packet.seconds);
    header.ts.tv_usec = static_cast<decltype(header.ts.tv_usec)>(packet.microseconds);
    header.caplen = packet.capturedLength;
    header.len = packet.originalLength;
    pcap_dump(reinterpret_cast<u_char*>(dumper_), &header, packet.data);
    if (pcap_dump_flush(dumper_) != 0) {
        if (error)
            *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "Cannot write the capture file %1: %2"), quoted(fileName_), std::strerror(errno));
        return false;
    }
    return true;
}

bool chooseCaptureDevice(const std::string& settingsDevice, std::string* device, std::string* error,
                         bool* permissionDenied, const std::array<std::uint8_t, 4>& deviceAddress)
{
    if (permissionDenied)
        *permissionDenied = false;
    *device = captureDeviceOverride(settingsDevice);
    if (!device->empty())
        return true;
    std::string listError;
    const auto adapters = listCaptureAdapters(&listError);
    if (adapters.empty()) {
        *error = listError.empty() ? userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "No network adapter was found for capturing.")) : listError;
        return false;
    }
    int chosen = chooseAdapterForDevice(adapters, deviceAddress);
    if (chosen < 0)
        chosen = chooseAdapterByRule(adapters);
    if (chosen >= 0) {
        *device = adapters[static_cast<std::size_t>(chosen)].name;
        return true;
    }
    *error = userText("PacketCapture", QT_TRANSLATE_NOOP("PacketCapture", "No network adapter that delivers Ethernet frames could be opened."));
    const bool anyDenied = std::any_of(adapters.begin(), adapters.end(), [](const CaptureAdapter& a) { return a.probeDenied; });
    if (permissionDenied)
        *permissionDenied = anyDenied;
    for (const auto& a : adapters) {
        if (!a.probeError.empty()) {
            *error += " " + a.name + ": " + a.probeError;
            break;
        }
    }
    return false;
}

} // namespace hvk32::platform
