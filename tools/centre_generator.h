#pragma once
// A synthetic centre file, the same for the same scale. Scale 1 is about one secondary school
// (39 groups, about 470 subject entries); the lists grow linearly with the scale (scale 64: about
// 2,500 groups and 30,000 subject entries). The file is ISO-8859-1, as the school-management
// system writes it.
#include <ostream>

namespace lindavex::tools {

void writeSyntheticCentre(std::ostream& out, int scale);

}  // namespace lindavex::tools
