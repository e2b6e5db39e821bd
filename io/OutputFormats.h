#pragma once
// The one list of output formats. Every user of formats reads it: the command line's --out
// picks its writer by extension and its help lists them, and the window's file dialogs offer
// them. makeSink (FrameSinks.h) builds each format's writer.

#include <QString>

#include <optional>
#include <vector>

namespace hvk32 {

enum class OutputFormat { Csv, Pcd, Ply, Las, Kitti, Mcap };

// What one output of a run of frames is on disk.
enum class OutputLayout {
    OneFile,      // every frame in one file
    FilePerFrame, // one file per frame beside the name given: scan.pcd gives scan-000001.pcd, ...
    Folder,       // one file per frame in the folder given: 000000.bin, 000001.bin, ...
};

struct OutputFormatInfo {
    OutputFormat format;
    const char* name;       // "PCD", as file dialogs and messages name it
    const char* extension;  // ".pcd": what a file of it (or of one of its frames) ends in
    OutputLayout layout;
};

// Every format, in the order the dialogs offer them.
const std::vector<OutputFormatInfo>& outputFormats();
const OutputFormatInfo& outputFormatInfo(OutputFormat format);

// What is written: a run of frames (the command line's export), or one frame (the window's
// exports), for which each format writes one file, a folder's format its frame's file.
enum class OutputUse { Run, OneFrame };

// The format whose extension `path` ends in, in any case, among those that write a file for
// `use`; none when it ends in none of them.
std::optional<OutputFormat> outputFormatOf(const QString& path, OutputUse use);
// ".csv, .pcd, .ply, .las and .mcap": the extensions outputFormatOf knows for `use`.
QString extensionList(OutputUse use);

// A file dialog's filter of every format for one frame, "CSV (*.csv);;PCD (*.pcd);;...",
// with `first` first.
QString fileDialogFilter(OutputFormat first);

} // namespace hvk32
