#pragma once
// libxml2 reads and writes "windows-1252" through the system's own code page tables, so that
// centre files in that encoding map exactly as every other text of the system does (the five
// bytes the code page leaves undefined included), whatever the platform's converters do.

namespace lindavex::store {

// Registers the encoding with libxml2 once per process; later calls do nothing.
void registerWindows1252Encoding();

}  // namespace lindavex::store
