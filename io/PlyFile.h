#pragma once
// Binary little-endian PLY files of converted points: one "vertex" element with a property
// per chosen field, as PCL's, Open3D's and CloudCompare's readers take them.

#include "convert/PointFields.h"

#include <string>
#include <vector>

namespace hvk32::pointfile {

std::string plyHeader(const FieldSet& fields, std::size_t points);

// Writes `points` into `path`; `scratch` holds the packed records between calls.
bool writePlyFile(const std::string& path, const PointArrays& points, const FieldSet& fields,
                  std::vector<char>& scratch, std::string* error);

} // namespace hvk32::pointfile
