#pragma once
// Texts the system shows as they stand, the same for both actions.

namespace lindavex {

// The end of a run that went well, in the window's message and on the command line.
inline constexpr const char* kFinishedText = "Proceso finalizado";

}  // namespace lindavex
