#pragma once
// A synthetic centre file, the same for the same scale. Scale 1 is about one secondary school
// (39 groups, about 470 subject entries); the lists grow linearly with the scale (scale 64: about
// 2,500 groups and 30,000 subject entries). The file is ISO-8859-1, as the school-management
// system writes it.
#include <ostream>

namespace lindavex::tools {

// Short: codes as schools mostly have them, every seventh subject's longer than the work tables'
// ten characters. Long: every code of a subject, activity type, teacher, room and group longer,
// so that the first action stores each otherwise (subjects, rooms and groups shortened to their
// first 8 and last 2 characters, teachers cut to 10), and each subject entry's CASIG is cut.
enum class Codes { Short, Long };

void writeSyntheticCentre(std::ostream& out, int scale, Codes codes = Codes::Short);

}  // namespace lindavex::tools
