#pragma once
// The "info" command, and the damage report that both capture commands print.

#include "acquisition/CaptureFile.h"

#include <QString>

namespace hvk32 {

// "info --pcap FILE": one JSON line per device-info payload of the capture, with the file
// offset of its record, the 33 status values and the decoded record as hex (argv[0] is
// "info"). Exits 1 only when the file cannot be read as a capture.
int runInfoCommand(int argc, char** argv);

// False, with the reason on stderr, when `file` exists and is not a regular file (a FIFO, a
// folder, a device): captures are read from files, and opening a FIFO would wait for a writer.
bool captureIsAFile(const char* command, const QString& file);

// Writes one line to stderr per kind of damage found in `file`.
void reportCaptureDamage(const char* command, const QString& file, const capturefile::Damage& damage);

} // namespace hvk32
