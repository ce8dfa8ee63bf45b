#pragma once
// What differs between Windows and the other platforms for the window: the executable's folder,
// the HTML Help function, the host window's handle, noticing that the host went away, the
// display scaling inside the host, never waiting for the host, and where Windows keeps the
// product's files. Each platform has its own source file; nothing else in the window depends on
// the platform.
#include <QWindow>

#include <cstdint>
#include <filesystem>

#include "shell/help_viewer.h"
#include "shell/settings_file.h"

namespace lindavex::shell::platform {

// The folder of the running executable, where "Morvalen.ini" and "RIDAZ.chm" live.
std::filesystem::path executableDir();

// The platform's HTML Help function, or an empty one when there is none (help then does
// nothing). The texts of each call are UTF-8.
HtmlHelpFunction htmlHelp();

// The window handle the Morvalen product passes on the command line: 32 bits, widened as the
// platform widens its handles.
WId hostWindowId(std::int32_t handle);

// Whether a native window still exists; true when the platform cannot tell. The embedded
// window asks it of its host twice a second: the product may close or crash while it runs.
bool windowExists(WId window);

// What the process settles before Qt starts. Embedded, the window sees the screen as its host
// does: the Morvalen product is not DPI-aware, so Windows stretches its window at 125 % or
// 150 %, and the tool's window must be stretched alike (632 x 266 in the host's coordinates)
// rather than scale itself inside a stretched host. Free-running it keeps Qt's per-monitor
// awareness.
void prepareProcess(bool embedded);

// An embedded window never waits for its host: a product that waits for the tool to end
// without running its message loop blocks every message sent to it. Once the window is a child
// of the host, the host is no longer told of its end (no WM_PARENTNOTIFY)...
void keepFromNotifyingHost(WId window);
// ...and once the embedded window has closed, with its status written, the program ends: on
// Windows at once, leaving the window to the system, as hiding or destroying a child window
// has the host repainted with a message that waits for it (Wine sends WM_ERASEBKGND). Elsewhere
// by leaving the event loop.
void endEmbedded();

// Where Windows redirects the writes of a legacy 32-bit program such as the Morvalen product:
// Program Files (both), ProgramData and Windows, to %LOCALAPPDATA%\VirtualStore. No value where
// nothing is redirected.
std::optional<VirtualStore> virtualStore();

}  // namespace lindavex::shell::platform
