#pragma once
// An H.264 video in an MP4 file, picture after picture: yuv420p (what browsers play), the
// index at the front of the file so it plays while it downloads, one encoding thread. The file
// is written under a temporary name beside it and takes its name in finish(); a writer that
// is destroyed unfinished removes what it wrote. The same pictures give the same bytes.

#include "render/Picture.h"

#include <QString>

#include <memory>

struct AVFrame;

namespace hvk32::render {

class VideoWriter {
public:
    VideoWriter();
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // x264's constant-quality scale: 0 (lossless) to 51, lower is better and bigger.
    static constexpr int kDefaultQuality = 23;
    static constexpr int kMaxQuality = 51;

    // Opens the video: pictures of width x height (both even), `fpsNum`/`fpsDen` pictures a
    // second, at constant quality `crf`. False, with the reason in error(), when the encoder or
    // the file cannot be opened.
    bool open(const QString& path, int width, int height, int fpsNum, int fpsDen, int crf = kDefaultQuality);
    // Encodes the next picture (of the size given to open()).
    bool add(const Picture& picture);
    // Encodes what is still buffered, ends the file and gives it its name.
    bool finish();
    // Removes what was written; the writer may be opened again.
    void cancel();

    QString error() const { return error_; }
    long pictures() const { return pictures_; }

private:
    struct Codec;
    bool createTemporary();
    bool encode(AVFrame* frame);
    QString writeError(int code) const;
    bool fail(const QString& message);
    bool abandon(const QString& message);
    bool notOpen();

    std::unique_ptr<Codec> codec_;
    QString path_, temporary_;
    QString error_;
    long pictures_ = 0;
};

} // namespace hvk32::render
