#pragma once
// The GPS time test: logs every device-info record's clock with the computer's time and
// counts the records whose second does not follow the previous one by exactly one. The logs
// are GB2312 with the original wording, or UTF-8 in English when that language is chosen.

#include <QDateTime>
#include <QFile>
#include <QString>

#include <array>
#include <cstdint>

namespace hvk32 {

// "2026/12/06 21:05:09" from the six clock bytes (year - 2000, month, day, hour, minute, second).
QString gpsTimeText(const std::uint8_t clock[6]);

// Only the seconds are compared: anything but +1 (or 59 -> 0) is a jump.
bool isGpsJump(int previousSecond, int currentSecond);

// The folder the logs go to: "D:/HVK32_GPSTimeTest-V3.0/" on Windows, the same folder name
// under the user's home directory elsewhere.
QString gpsLogRoot();

class GpsTimeLog {
public:
    // Creates <root><yyyy-MM-dd>/ and opens, for appending, the main log
    // "HVK32-V3.0_<serial>_<yyyy-MM-dd-hh-mm-ss>.txt" (writing its header line) and the error
    // log "HVK32-V3.0_<serial>_Error_<...>.txt". The next record is never a jump; the error
    // count starts again at 0. A root without a trailing '/' gets one. False, with `error`
    // set and both files closed, when the folder or a file cannot be created or the serial
    // number holds a path separator.
    bool start(const QString& root, const QString& serial, const QDateTime& now, QString* error);
    // Logs one record; true when it was a jump (then also logged in the error log). Does
    // nothing while the logs are closed.
    bool record(const std::uint8_t clock[6], const QDateTime& localNow);
    void stop(); // closes both files
    bool isOpen() const { return main_.isOpen(); }
    int errorCount() const { return errors_; }
    QString mainLogPath() const { return main_.fileName(); }
    QString errorLogPath() const { return error_.fileName(); }
    // Why a line could not be written since the last start; empty while every line was.
    QString writeError() const { return writeError_; }

private:
    void writeLine(QFile& file, const QString& line); // in the logs' encoding, a line feed, flushed

    QFile main_;
    QFile error_;
    bool newFile_ = true;
    int errors_ = 0;
    QString writeError_;
    std::array<std::uint8_t, 6> previous_{};
    std::array<std::uint8_t, 6> current_{};
};

} // namespace hvk32
