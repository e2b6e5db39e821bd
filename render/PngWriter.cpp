#include "render/PngWriter.h"

#include <QSaveFile>

#include <png.h>

#include <csetjmp>
#include <vector>

namespace hvk32::render {

namespace {

void append(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

// The picture encoded in memory; false when libpng fails (it reports through longjmp).
bool encode(const Picture& picture, std::vector<std::uint8_t>& out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, append, noFlush);
    // Fast deflate: pictures of sparse points compress well at any level, and a folder of
    // one picture per frame is written at the rate frames are drawn.
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y)
        png_write_row(png, const_cast<png_bytep>(picture.row(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool writePng(const QString& path, const Picture& picture, QString* error)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(picture.rgb.size() / 8);
    if (picture.width <= 0 || picture.height <= 0 || !encode(picture, bytes)) {
        *error = QStringLiteral("%1: the picture could not be encoded").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()))
            != static_cast<qint64>(bytes.size())
        || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace hvk32::render
