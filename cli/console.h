#pragma once
// The console as the command line sees it on every platform: arguments in UTF-8, output in
// UTF-8. console_posix.cpp or console_win32.cpp, whichever the build picks.
#include <string>
#include <vector>

namespace lindavex::cli {

// The program's arguments after its own name, in UTF-8 (Windows hands them over in UTF-16).
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Makes the console show UTF-8 output as text (Windows consoles assume another code page), its
// lines ending in "\n" alone.
void useUtf8Console();

}  // namespace lindavex::cli
