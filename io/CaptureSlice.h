#pragma once
// A part of a capture that plays alone: the device-info record in force at the first frame,
// then every record from the one holding the first frame's first block to the one holding
// the last frame's last block, each copied whole and unchanged under the input's own file
// header. A frame that starts inside a record keeps that record's earlier blocks, which
// belong to the frame before it.

#include <QString>

#include <functional>

class QIODevice;

namespace hvk32 {

class CaptureFrameIndex;

struct SliceBounds {
    qint64 deviceInfoOffset = -1; // record header of the device-info record written first
    qint64 deviceInfoSize = 0;    // and its length, header included, as stored
    qint64 begin = 0;             // first byte copied: the record with frame `from`'s first block
    qint64 end = 0;               // after the record with frame `to`'s last block
};

// Where frames from..to (numbered from 1, in `index`, built from `path`) lie in the file.
// False when they cannot be found again; `message` says why.
bool findSliceBounds(const QString& path, const CaptureFrameIndex& index, int from, int to, SliceBounds& bounds,
                     QString* message);

// Copies the file header, the device-info record and the bytes begin..end of `in` to `out`.
// `keepGoing` is asked between chunks; false from it stops the copy. False on a read or
// write error or a stop; `message` says which.
bool copySlice(QIODevice& in, const SliceBounds& bounds, QIODevice& out, QString* message,
               const std::function<bool()>& keepGoing = {});

} // namespace hvk32
