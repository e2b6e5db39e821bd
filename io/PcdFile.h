#pragma once
// Binary PCD (version 0.7) files of converted points: one unorganised cloud (HEIGHT 1) with
// the chosen fields, as PCL's loaders read them.

#include "convert/PointFields.h"

#include <string>

namespace hvk32::pointfile {

std::string pcdHeader(const FieldSet& fields, std::size_t points);

} // namespace hvk32::pointfile
