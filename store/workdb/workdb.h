#pragma once
// Where the work database lives, and whether an input is there.
#include <filesystem>

namespace lindavex::store {

// "C:\WTEMP" on Windows; elsewhere the folder a Windows program sees as C:\WTEMP under Wine
// ($WINEPREFIX/drive_c/WTEMP, ~/.wine when WINEPREFIX is unset). LINDAVEX_WORKDB replaces it.
std::filesystem::path defaultWorkDb();

// Whether path names an existing file, not a folder: how both actions check their inputs
// before they start.
bool isFile(const std::filesystem::path& path);

}  // namespace lindavex::store
