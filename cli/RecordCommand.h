#pragma once

namespace hvk32 {

// "record": writes the datagrams arriving on the data and telemetry ports into capture
// files, without capture rights (argv[0] is "record").
int runRecordCommand(int argc, char** argv);

} // namespace hvk32
