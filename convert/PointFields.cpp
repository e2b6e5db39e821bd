#include "convert/PointFields.h"

#include <cstring>

namespace hvk32::pointfile {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "records are packed in the host's byte order");

namespace {

const FieldInfo kFields[kFieldCount] = {
    {"x", 4, 'F', "float"},         {"y", 4, 'F', "float"},     {"z", 4, 'F', "float"},
    {"intensity", 4, 'F', "float"}, {"ring", 2, 'U', "ushort"}, {"time", 4, 'F', "float"},
    {"azimuth", 4, 'F', "float"},   {"distance", 4, 'F', "float"}, {"return", 1, 'U', "uchar"},
};

// One field of every point into its column of the records.
template<typename T>
void scatter(const std::vector<T>& column, std::size_t n, char* out, std::size_t stride)
{
    const T* in = column.data();
    for (std::size_t k = 0; k < n; ++k)
        std::memcpy(out + k * stride, in + k, sizeof(T));
}

} // namespace

const FieldInfo& infoOf(Field f)
{
    return kFields[static_cast<int>(f)];
}

FieldSet FieldSet::all()
{
    FieldSet s;
    s.mask_ = (1u << kFieldCount) - 1;
    return s;
}

bool FieldSet::parse(const std::string& text, FieldSet& out, std::string* bad)
{
    FieldSet s;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const std::string name = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        int found = -1;
        for (int f = 0; f < kFieldCount; ++f)
            if (name == kFields[f].name)
                found = f;
        if (found < 0 || s.has(static_cast<Field>(found))) {
            if (bad)
                *bad = name;
            return false;
        }
        s.mask_ |= 1u << found;
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    out = s;
    return true;
}

std::vector<Field> FieldSet::fields() const
{
    std::vector<Field> list;
    for (int f = 0; f < kFieldCount; ++f)
        if (has(static_cast<Field>(f)))
            list.push_back(static_cast<Field>(f));
    return list;
}

std::size_t FieldSet::recordSize() const
{
    std::size_t size = 0;
    for (Field f : fields())
        size += infoOf(f).size;
    return size;
}

void packRecords(const PointArrays& points, const FieldSet& fields, std::vector<char>& out)
{
    const std::size_t n = points.size;
    const std::size_t stride = fields.recordSize();
    if (out.size() < n * stride)
        out.resize(n * stride);
    char* at = out.data();
    if (fields.fields() == std::vector<Field>{Field::X, Field::Y, Field::Z, Field::Intensity}) {
        // The common x,y,z,intensity record in one pass over the four columns.
        const float* xs = points.x.data();
        const float* ys = points.y.data();
        const float* zs = points.z.data();
        const float* is = points.intensity.data();
        for (std::size_t k = 0; k < n; ++k) {
            const float record[4] = {xs[k], ys[k], zs[k], is[k]};
            std::memcpy(at + k * sizeof record, record, sizeof record);
        }
        return;
    }
    for (Field f : fields.fields()) {
        switch (f) {
        case Field::X: scatter(points.x, n, at, stride); break;
        case Field::Y: scatter(points.y, n, at, stride); break;
        case Field::Z: scatter(points.z, n, at, stride); break;
        case Field::Intensity: scatter(points.intensity, n, at, stride); break;
        case Field::Ring: scatter(points.channel, n, at, stride); break;
        case Field::Time: scatter(points.time, n, at, stride); break;
        case Field::Azimuth: scatter(points.azimuth, n, at, stride); break;
        case Field::Distance: scatter(points.distance, n, at, stride); break;
        case Field::Return: scatter(points.echo, n, at, stride); break;
        }
        at += infoOf(f).size;
    }
}

} // namespace hvk32::pointfile
