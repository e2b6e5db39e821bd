#pragma once
// Records the datagrams the program's own sockets receive into a classic capture file, so
// recording needs no capture rights. Each datagram becomes an Ethernet frame whose IPv4 and
// UDP headers carry the sender's address and port and the receiving port, stamped with its
// arrival time: the file reads like an adapter capture of the same traffic.
//
// Every record goes to the file in a single write, so a process killed at any moment leaves
// whole records behind (a reader drops a record that a kill still cut short). A failed write
// ends the recording: the file is cut back to its last whole record and kept, and error()
// says what happened. With a size limit the recording goes on in FILE-0001.pcap, FILE-0002.pcap
// and so on; each of them starts with the last device-info packet, so every file plays alone.
// The first file waits for the first device-info packet: the datagrams before it are held
// (at most kDeviceInfoWaitMicros of them, and kMaxHeldBytes) and written after a copy of it,
// so that file plays alone too. When none comes in time they are written without one.
//
// Records come from more than one receive thread; their time stamps are kept in order over
// the whole recording (MonotonicStamps), and a file's leading device-info copy carries the
// time of the record it precedes.
//
// Thread-safe: receiver threads hand in datagrams while another thread starts, stops and
// reads the counts.

#include "acquisition/MonotonicStamps.h"
#include "acquisition/ReceivedDatagram.h"

#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class QIODevice;

namespace hvk32 {

struct RecordingCounts {
    std::uint64_t packets = 0;            // datagrams written (the device-info copies that begin files not counted)
    std::uint64_t deviceInfoPackets = 0;  // of them, device-info packets
    std::uint64_t raisedStamps = 0;       // records written with a later time than they arrived, to keep the order
    std::uint64_t bytes = 0;              // bytes written, file headers included, over all files
    std::uint64_t receiveBufferDrops = 0; // datagrams the sockets lost while recording
    int files = 0;                        // files begun
};

class SocketRecorder : public DatagramSink {
public:
    // How long, by the datagrams' own times, the first file of a recording with a size limit
    // waits for a device-info packet (the device sends one a second), and how much it holds.
    static constexpr std::int64_t kDeviceInfoWaitMicros = 5000000;
    static constexpr std::size_t kMaxHeldBytes = 64u * 1024 * 1024;

    struct Options {
        std::uint64_t maxFileBytes = 0; // 0: one file of any size
        // True when the receiving sockets were opened for this recording, so every drop they
        // report belongs to it; false to count only drops after the first datagram of each port.
        bool socketsNew = true;
    };

    SocketRecorder() = default;
    ~SocketRecorder() override;
    SocketRecorder(const SocketRecorder&) = delete;
    SocketRecorder& operator=(const SocketRecorder&) = delete;

    // Creates (or empties) the file and writes its header. False with `error` set, and
    // nothing recording, when that fails.
    bool start(const QString& path, const Options& options, QString* error);
    // Records into a device already open for writing (not owned; no size limit).
    bool start(QIODevice* device, const Options& options, QString* error);
    // Closes the file at once; datagrams that come later are ignored.
    void stop();

    bool isRecording() const;
    void takeDatagram(const ReceivedDatagram& datagram) override;

    RecordingCounts counts() const;
    // Why the recording ended by itself (a write failed); empty while all is well.
    QString error() const;
    // The file being written (the last one, after a stop).
    QString currentFile() const;
    // True once a size-limited recording has given up waiting for its first device-info
    // packet and written the held datagrams without one.
    bool deviceInfoWaitFailed() const;

    // The name of file `index` of a recording into `path`: the path itself for 0, else the
    // path without its ".pcap" followed by "-0001.pcap" and so on.
    static QString rotatedFileName(const QString& path, int index);

private:
    bool begin(QIODevice* device, QString* error);
    bool openNextFile(std::int64_t stamp, QString* error);
    bool writeRecord(std::vector<std::uint8_t>& record, std::int64_t micros, bool deviceInfo, bool counted);
    bool releaseHeld();
    bool writeWhole(const std::uint8_t* bytes, std::size_t size, QString* error);
    void fail(const QString& message);
    void closeLocked();
    void restartLocked(const QString& basePath, const Options& options);
    void countDrops(std::uint16_t port, std::uint32_t socketDrops);
    // A copy of a member, taken under the lock the receiving thread writes it under.
    template <typename T>
    T locked(const T& member) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return member;
    }

    mutable std::mutex mutex_;
    QIODevice* device_ = nullptr;
    std::unique_ptr<QIODevice> ownedDevice_;
    QString basePath_;
    Options options_;
    std::uint64_t fileBytes_ = 0;
    std::uint16_t identification_ = 0;
    std::vector<std::uint8_t> record_;           // the record being written, reused
    std::vector<std::uint8_t> lastDeviceInfo_;   // the last device-info record, for the next file
    MonotonicStamps stamps_;
    // Datagrams that wait for the first device-info packet, with their arrival times.
    struct HeldRecord {
        std::int64_t micros = 0;
        std::vector<std::uint8_t> record;
    };
    bool awaitingDeviceInfo_ = false;
    bool deviceInfoWaitFailed_ = false;
    std::vector<HeldRecord> held_;
    std::size_t heldBytes_ = 0;
    std::map<std::uint16_t, std::uint32_t> lastDrops_; // per receiving port
    RecordingCounts counts_;
    QString error_;
    QString currentFile_;
};

} // namespace hvk32
