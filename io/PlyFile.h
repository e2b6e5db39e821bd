#pragma once
// Binary little-endian PLY files of converted points: one "vertex" element with a property
// per chosen field, as PCL's, Open3D's and CloudCompare's readers take them.

#include "convert/PointFields.h"

#include <string>

namespace hvk32::pointfile {

std::string plyHeader(const FieldSet& fields, std::size_t points);

} // namespace hvk32::pointfile
