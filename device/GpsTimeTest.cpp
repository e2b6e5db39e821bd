#include "device/GpsTimeTest.h"

#include "acquisition/DeviceInfoPacket.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextCodec>

#include <algorithm>

namespace hvk32 {

namespace {

constexpr int kLastSecond = 59;
constexpr int kSecondIndex = 5;

const char* const kFolderName = "HVK32_GPSTimeTest-V3.0";
const char* const kFilePrefix = "HVK32-V3.0_";
const char* const kDateFormat = "yyyy-MM-dd";
const char* const kDateTimeFormat = "yyyy-MM-dd-hh-mm-ss";
const char* const kLocalTimeFormat = "yyyy-MM-dd hh:mm:ss:zzz";

// The log texts and their encoding, as the original logs have them unless the language
// chosen words them otherwise (English logs are UTF-8). 本地时间: local time, GPS时间: GPS
// time, GPS时间发生跳变: GPS time jump.
const char* const kContext = "GpsTimeLog";
const char* const kHeaderLine = QT_TRANSLATE_NOOP("GpsTimeLog", "\t\t本地时间\t\t\t\t\t\t GPS时间");
const char* const kRecordText = QT_TRANSLATE_NOOP("GpsTimeLog", "\t\t\tGPS时间 :");
const char* const kMainJumpText = QT_TRANSLATE_NOOP("GpsTimeLog", "-------------- GPS时间发生跳变 : ");
const char* const kMainJumpEnd = "--------------";
const char* const kErrorJumpText = QT_TRANSLATE_NOOP("GpsTimeLog", "\t\t\tGPS时间发生跳变 :");

QString logText(const char* text)
{
    return QCoreApplication::translate(kContext, text);
}

QString encodingName()
{
    return QCoreApplication::translate("GpsTimeLog", "GB2312", "the logs' text encoding, as QTextCodec names it");
}

QTextCodec* logCodec()
{
    return QTextCodec::codecForName(encodingName().toLatin1());
}

QString localTimeText(const QDateTime& localNow)
{
    return localNow.toString(QString::fromLatin1(kLocalTimeFormat));
}

// Opens a log for appending; false with `error` set when it cannot be.
bool openForAppend(QFile& file, const QString& path, QString* error)
{
    file.close();
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        return true;
    if (error)
        *error = QCoreApplication::translate("GpsTimeTest", "Cannot open the log file %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}

} // namespace

QString gpsTimeText(const std::uint8_t clock[6])
{
    const QChar zero(QLatin1Char('0'));
    const devinfo::Clock c = devinfo::readClock(clock);
    return QStringLiteral("%1/%2/%3 %4:%5:%6")
        .arg(c.year)
        .arg(c.month, 2, 10, zero)
        .arg(c.day, 2, 10, zero)
        .arg(c.hour, 2, 10, zero)
        .arg(c.minute, 2, 10, zero)
        .arg(c.second, 2, 10, zero);
}

bool isGpsJump(int previousSecond, int currentSecond)
{
    if (previousSecond == kLastSecond && currentSecond == 0)
        return false;
    return currentSecond - previousSecond != 1;
}

QString gpsLogRoot()
{
#ifdef _WIN32
    return QStringLiteral("D:/") + QLatin1String(kFolderName) + QLatin1Char('/');
#else
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(kFolderName) + QLatin1Char('/');
#endif
}

bool GpsTimeLog::start(const QString& root, const QString& serial, const QDateTime& now, QString* error)
{
    stop();
    newFile_ = true;
    errors_ = 0;
    writeError_.clear();

    auto fail = [&](const QString& why) {
        stop();
        if (error)
            *error = why;
        return false;
    };
    if (!logCodec())
        return fail(QCoreApplication::translate("GpsTimeTest", "The %1 text codec is not available.")
                        .arg(encodingName()));
    // The serial number becomes part of a file name; a separator would make it a path.
    if (serial.contains(QLatin1Char('/')) || serial.contains(QLatin1Char('\\')))
        return fail(QCoreApplication::translate("GpsTimeTest", "The serial number \"%1\" cannot contain / or \\.").arg(serial));

    QString folder = root;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    folder += now.toString(QString::fromLatin1(kDateFormat));
    if (!QDir().mkpath(folder))
        return fail(QCoreApplication::translate("GpsTimeTest", "Cannot create the folder %1.").arg(QDir::toNativeSeparators(folder)));

    const QString stamp = now.toString(QString::fromLatin1(kDateTimeFormat));
    const QString prefix = folder + QLatin1Char('/') + QLatin1String(kFilePrefix) + serial;
    QString why;
    if (!openForAppend(main_, prefix + QLatin1Char('_') + stamp + QStringLiteral(".txt"), &why))
        return fail(why);
    if (!openForAppend(error_, prefix + QStringLiteral("_Error_") + stamp + QStringLiteral(".txt"), &why))
        return fail(why);
    writeLine(main_, logText(kHeaderLine));
    if (!writeError_.isEmpty())
        return fail(writeError_);
    return true;
}

bool GpsTimeLog::record(const std::uint8_t clock[6], const QDateTime& localNow)
{
    if (!main_.isOpen())
        return false;
    const QString local = localTimeText(localNow);
    const QString gps = gpsTimeText(clock);
    writeLine(main_, local + logText(kRecordText) + gps);

    previous_ = current_;
    std::copy(clock, clock + current_.size(), current_.begin());
    if (newFile_) {
        newFile_ = false; // the first record after a start has nothing to follow
        return false;
    }
    if (!isGpsJump(previous_[kSecondIndex], current_[kSecondIndex]))
        return false;

    const QString jump = gpsTimeText(previous_.data()) + QStringLiteral(" -> ") + gps;
    writeLine(main_, logText(kMainJumpText) + jump + QString::fromLatin1(kMainJumpEnd));
    writeLine(error_, local + logText(kErrorJumpText) + jump);
    ++errors_;
    return true;
}

void GpsTimeLog::stop()
{
    main_.close();
    error_.close();
}

void GpsTimeLog::writeLine(QFile& file, const QString& line)
{
    // Each line is flushed at once, so a log is complete up to the last record whatever
    // happens to the program afterwards.
    const QByteArray bytes = logCodec()->fromUnicode(line) + '\n';
    if (file.write(bytes) == bytes.size() && file.flush())
        return;
    if (writeError_.isEmpty())
        writeError_ = QCoreApplication::translate("GpsTimeTest", "Cannot write the log file %1: %2")
                          .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
}

} // namespace hvk32
