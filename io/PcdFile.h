#pragma once
// Binary PCD (version 0.7) files of converted points: one unorganised cloud (HEIGHT 1) with
// the chosen fields, as PCL's loaders read them.

#include "convert/PointFields.h"

#include <string>
#include <vector>

namespace hvk32::pointfile {

std::string pcdHeader(const FieldSet& fields, std::size_t points);

// Writes `points` into `path`; `scratch` holds the packed records between calls.
bool writePcdFile(const std::string& path, const PointArrays& points, const FieldSet& fields,
                  std::vector<char>& scratch, std::string* error);

} // namespace hvk32::pointfile
