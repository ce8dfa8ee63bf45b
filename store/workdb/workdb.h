#pragma once
// Where the work database lives.
#include <filesystem>

namespace lindavex::store {

// "C:\WTEMP" on Windows; elsewhere the folder a Windows program sees as C:\WTEMP under Wine
// ($WINEPREFIX/drive_c/WTEMP, ~/.wine when WINEPREFIX is unset). LINDAVEX_WORKDB replaces it.
std::filesystem::path defaultWorkDb();

}  // namespace lindavex::store
