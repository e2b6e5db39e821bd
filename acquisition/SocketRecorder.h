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
//
// Thread-safe: receiver threads hand in datagrams while another thread starts, stops and
// reads the counts.

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
    std::uint64_t packets = 0;            // records written
    std::uint64_t bytes = 0;              // bytes written, file headers included, over all files
    std::uint64_t receiveBufferDrops = 0; // datagrams the sockets lost while recording
    int files = 0;                        // files begun
};

class SocketRecorder : public DatagramSink {
public:
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

    // The name of file `index` of a recording into `path`: the path itself for 0, else the
    // path without its ".pcap" followed by "-0001.pcap" and so on.
    static QString rotatedFileName(const QString& path, int index);

private:
    bool begin(QIODevice* device, QString* error);
    bool openNextFile(QString* error);
    bool writeWhole(const std::uint8_t* bytes, std::size_t size, QString* error);
    void fail(const QString& message);
    void closeLocked();
    void countDrops(std::uint16_t port, std::uint32_t socketDrops);

    mutable std::mutex mutex_;
    QIODevice* device_ = nullptr;
    std::unique_ptr<QIODevice> ownedDevice_;
    QString basePath_;
    Options options_;
    std::uint64_t fileBytes_ = 0;
    std::uint16_t identification_ = 0;
    std::vector<std::uint8_t> record_;           // the record being written, reused
    std::vector<std::uint8_t> lastDeviceInfo_;   // the last device-info record, for the next file
    std::map<std::uint16_t, std::uint32_t> lastDrops_; // per receiving port
    RecordingCounts counts_;
    QString error_;
    QString currentFile_;
};

} // namespace hvk32
