#include "render/VideoWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hvk32::render {

namespace {

// The encoder's preset, measured at 1280x720 on one core with the program's own pictures
// (bench/render.sh's captures; the whole command, drawing included): a 600 rpm hall seen from
// above renders at 106 pictures/s with ultrafast and a 0.94 MB video, at 91/s and 0.45 MB with
// veryfast (crf 23); seen in perspective 93/s and 4.97 MB against 84/s and 2.37 MB. veryfast
// halves the files for a tenth of the speed and keeps well above the 30 pictures a second the
// program must render and encode on one core; faster presets of x264 gain little more. Its
// stream is High profile (B-pictures, CABAC). On pictures of noise-like detail (60,000 random
// pixels a picture) the encoder alone manages ultrafast 100/s, veryfast 33/s.
constexpr const char* kPreset = "veryfast";
constexpr double kKeyframeSeconds = 2.0;
constexpr int kNameAttempts = 1000; // temporary names tried before giving up
constexpr mode_t kFileMode = 0666;  // less the umask, as any new file

// libav's own log lines would repeat on the terminal what error() tells; the writer reports.
void quietLibav()
{
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
}

QString avText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace

// Everything libav holds for one open video; freed in every path by its destructor.
struct VideoWriter::Codec {
    AVFormatContext* format = nullptr;
    AVCodecContext* encoder = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    // The picture's last row with room after it: swscale's vector code reads a few bytes past
    // the end of a row, which past the picture's last row would be outside its memory.
    std::vector<std::uint8_t> lastRow;

    ~Codec()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        sws_freeContext(scaler);
        avcodec_free_context(&encoder);
        if (format) {
            if (format->pb)
                avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

VideoWriter::VideoWriter() = default;

VideoWriter::~VideoWriter()
{
    cancel();
}

bool VideoWriter::open(const QString& path, int width, int height, int fpsNum, int fpsDen, int crf)
{
    cancel();
    error_.clear();
    pictures_ = 0;
    path_ = path;
    if (width <= 0 || height <= 0 || width % 2 || height % 2)
        return fail(QStringLiteral("cannot write %1: a video's width and height must be even and above 0, not %2x%3")
                        .arg(path, QString::number(width), QString::number(height)));
    if (fpsNum <= 0 || fpsDen <= 0)
        return fail(QStringLiteral("cannot write %1: the frame rate %2/%3 is not above 0")
                        .arg(path, QString::number(fpsNum), QString::number(fpsDen)));
    quietLibav();
    const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
    if (!h264)
        return fail(QStringLiteral("this FFmpeg has no H.264 encoder (libx264)"));
    if (!createTemporary())
        return false;

    codec_ = std::make_unique<Codec>();
    Codec& c = *codec_;
    // "file:" keeps a name with a colon in it from being taken for another protocol.
    const std::string url = "file:" + temporary_.toStdString();
    if (avformat_alloc_output_context2(&c.format, nullptr, "mp4", url.c_str()) < 0 || !c.format)
        return abandon(QStringLiteral("cannot write %1: this FFmpeg has no MP4 muxer").arg(path));

    c.encoder = avcodec_alloc_context3(h264);
    if (!c.encoder)
        return abandon(writeError(AVERROR(ENOMEM)));
    AVCodecContext& e = *c.encoder;
    e.width = width;
    e.height = height;
    e.sample_aspect_ratio = AVRational{1, 1};
    e.pix_fmt = AV_PIX_FMT_YUV420P;
    e.time_base = AVRational{fpsDen, fpsNum};
    e.framerate = AVRational{fpsNum, fpsDen};
    e.gop_size = std::max(1, static_cast<int>(std::lround(kKeyframeSeconds * fpsNum / fpsDen)));
    e.thread_count = 1; // one core, and the same bytes every run
    // BT.601 matrix, limited range: what the conversion below produces.
    e.color_range = AVCOL_RANGE_MPEG;
    e.colorspace = AVCOL_SPC_SMPTE170M;
    e.color_primaries = AVCOL_PRI_SMPTE170M;
    e.color_trc = AVCOL_TRC_SMPTE170M;
    if (c.format->oformat->flags & AVFMT_GLOBALHEADER)
        e.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", kPreset, 0);
    av_dict_set(&options, "crf", std::to_string(std::clamp(crf, 0, kMaxQuality)).c_str(), 0);
    av_dict_set(&options, "profile", "high", 0);
    const int opened = avcodec_open2(c.encoder, h264, &options);
    av_dict_free(&options);
    if (opened < 0)
        return abandon(QStringLiteral("cannot start the H.264 encoder for %1x%2 pictures: %3")
                           .arg(QString::number(width), QString::number(height), avText(opened)));

    c.stream = avformat_new_stream(c.format, nullptr);
    if (!c.stream || avcodec_parameters_from_context(c.stream->codecpar, c.encoder) < 0)
        return abandon(writeError(AVERROR(ENOMEM)));
    c.stream->time_base = e.time_base;
    c.stream->avg_frame_rate = e.framerate;

    c.scaler = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                              nullptr, nullptr, nullptr);
    c.frame = av_frame_alloc();
    c.packet = av_packet_alloc();
    if (!c.scaler || !c.frame || !c.packet)
        return abandon(writeError(AVERROR(ENOMEM)));
    // Full-range RGB in, limited-range BT.601 out.
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(c.scaler, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
    c.frame->format = AV_PIX_FMT_YUV420P;
    c.frame->width = width;
    c.frame->height = height;
    c.frame->color_range = e.color_range;
    c.frame->colorspace = e.colorspace;
    c.frame->color_primaries = e.color_primaries;
    c.frame->color_trc = e.color_trc;
    if (const int r = av_frame_get_buffer(c.frame, 0); r < 0)
        return abandon(writeError(r));
    c.lastRow.assign(static_cast<std::size_t>(width) * 3 + AV_INPUT_BUFFER_PADDING_SIZE, 0);

    // Index at the front: the muxer moves it there when the file ends.
    AVDictionary* muxing = nullptr;
    av_dict_set(&muxing, "movflags", "+faststart", 0);
    int r = avio_open(&c.format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (r >= 0)
        r = avformat_write_header(c.format, &muxing);
    av_dict_free(&muxing);
    if (r < 0)
        return abandon(writeError(r));
    return true;
}

bool VideoWriter::add(const Picture& picture)
{
    if (!codec_)
        return notOpen();
    Codec& c = *codec_;
    const AVCodecContext& e = *c.encoder;
    if (picture.width != e.width || picture.height != e.height
        || picture.rgb.size() != static_cast<std::size_t>(e.width) * e.height * 3)
        return fail(QStringLiteral("cannot write %1: a %2x%3 picture in a %4x%5 video")
                        .arg(path_, QString::number(picture.width), QString::number(picture.height),
                             QString::number(e.width), QString::number(e.height)));
    if (const int r = av_frame_make_writable(c.frame); r < 0)
        return abandon(writeError(r));
    const int rowBytes = picture.width * 3;
    const int sourceStride[1] = {rowBytes};
    const std::uint8_t* source[1] = {picture.rgb.data()};
    sws_scale(c.scaler, source, sourceStride, 0, picture.height - 1, c.frame->data, c.frame->linesize);
    std::copy_n(picture.row(picture.height - 1), rowBytes, c.lastRow.begin());
    source[0] = c.lastRow.data();
    sws_scale(c.scaler, source, sourceStride, picture.height - 1, 1, c.frame->data, c.frame->linesize);
    c.frame->pts = pictures_;
    if (!encode(c.frame))
        return false;
    ++pictures_;
    return true;
}

bool VideoWriter::finish()
{
    if (!codec_)
        return notOpen();
    Codec& c = *codec_;
    if (!encode(nullptr))
        return false;
    int r = av_write_trailer(c.format);
    if (r >= 0)
        r = avio_closep(&c.format->pb);
    if (r < 0)
        return abandon(writeError(r));
    codec_.reset();
    if (::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(path_).constData()) != 0) {
        const int reason = errno;
        return abandon(QStringLiteral("cannot write %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(reason))));
    }
    temporary_.clear();
    return true;
}

void VideoWriter::cancel()
{
    codec_.reset();
    if (!temporary_.isEmpty())
        ::unlink(QFile::encodeName(temporary_).constData());
    temporary_.clear();
}

// Sends `frame` (null: the end) to the encoder and writes every packet it gives back.
bool VideoWriter::encode(AVFrame* frame)
{
    Codec& c = *codec_;
    int r = avcodec_send_frame(c.encoder, frame);
    if (r < 0)
        return abandon(QStringLiteral("cannot encode the video %1: %2").arg(path_, avText(r)));
    for (;;) {
        r = avcodec_receive_packet(c.encoder, c.packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return abandon(QStringLiteral("cannot encode the video %1: %2").arg(path_, avText(r)));
        if (c.packet->duration == 0)
            c.packet->duration = 1; // one picture, so that the last one lasts as long as the others
        av_packet_rescale_ts(c.packet, c.encoder->time_base, c.stream->time_base);
        c.packet->stream_index = c.stream->index;
        r = av_interleaved_write_frame(c.format, c.packet); // takes the packet's data
        if (r < 0)
            return abandon(writeError(r));
    }
}

// Reserves a name beside the target that no other file has, as the program's other outputs
// do ("drive.mp4.1234-0.part"); the muxer then writes over the empty file.
bool VideoWriter::createTemporary()
{
    const QByteArray target = QFile::encodeName(path_);
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return fail(S_ISDIR(existing.st_mode)
                        ? QStringLiteral("cannot write %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(EISDIR)))
                        : QStringLiteral("cannot write %1: it is not a regular file, and a video's index is "
                                         "written last")
                              .arg(path_));
    int reason = EEXIST;
    for (int n = 0; n < kNameAttempts && reason == EEXIST; ++n) {
        const QByteArray name = target + "." + QByteArray::number(::getpid()) + "-" + QByteArray::number(n) + ".part";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
        reason = fd < 0 ? errno : 0;
        if (fd >= 0) {
            ::close(fd);
            temporary_ = QFile::decodeName(name);
        }
    }
    if (reason != 0)
        return fail(QStringLiteral("cannot write %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(reason))));
    return true;
}

// A failure while writing the file: the system's reason for it, with the file's name.
QString VideoWriter::writeError(int code) const
{
    if (codec_ && codec_->format && codec_->format->pb && codec_->format->pb->error < 0)
        code = codec_->format->pb->error;
    return QStringLiteral("cannot write %1: %2").arg(path_, avText(code));
}

bool VideoWriter::fail(const QString& message)
{
    error_ = message;
    return false;
}

// Frees everything and removes what was written, keeping `message` as the reason.
bool VideoWriter::abandon(const QString& message)
{
    cancel();
    return fail(message);
}

bool VideoWriter::notOpen()
{
    if (error_.isEmpty())
        error_ = QStringLiteral("no video is open");
    return false;
}

} // namespace hvk32::render
