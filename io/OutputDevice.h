#pragma once
// A QIODevice over an output file (OutputFile), for writers that take a device: the CSV
// export, the capture slice.

#include "io/OutputFile.h"

#include <QIODevice>
#include <QString>

namespace hvk32 {

class OutputDevice : public QIODevice {
public:
    explicit OutputDevice(pointfile::OutputFile& file) : file_(file) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (file_.write(data, static_cast<std::size_t>(size)))
            return size;
        setErrorString(QString::fromLocal8Bit(file_.error().c_str()));
        return -1;
    }

private:
    pointfile::OutputFile& file_;
};

} // namespace hvk32
