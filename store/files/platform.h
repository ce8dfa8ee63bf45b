#pragma once
// Everything the store does that POSIX and Windows do differently: open files and their locks,
// names replaced, linked and removed, flushing, file identity, the local clock and the user's
// regional formats, the default work database. platform_posix.cpp or platform_win32.cpp
// implements it, whichever the build picks; no other file of the system asks which it is.
//
// Calls answer 0 or an errno value (Windows errors are mapped onto the POSIX ones the callers
// test: ENOENT, EEXIST, EACCES, EWOULDBLOCK, ...). They are not counted: file_io counts the
// ones that change files, on top of these.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lindavex::store::platform {

// An open file: a descriptor on POSIX, a HANDLE on Windows. Closed when destroyed.
class File {
  public:
    File() = default;
    explicit File(std::intptr_t handle) : handle_(handle) {}
    File(File&& other) noexcept : handle_(other.release()) {}
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = other.release();
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() { close(); }

    [[nodiscard]] bool isOpen() const { return handle_ != kNone; }
    [[nodiscard]] std::intptr_t native() const { return handle_; }
    // Closes now and answers the close's own failure (a write the file system deferred).
    int close();

  private:
    static constexpr std::intptr_t kNone = -1;  // also Windows' INVALID_HANDLE_VALUE
    std::intptr_t release() {
        const std::intptr_t handle = handle_;
        handle_ = kNone;
        return handle;
    }
    std::intptr_t handle_ = kNone;
};

// Opens an existing file for reading, sharing it with every other opener. EWOULDBLOCK when
// another program holds it open sharing nothing (Windows); ENOENT when it is not there.
int openForReading(const std::filesystem::path& path, File& file);

// Opens an existing file for reading and, while it stays open, keeps other openers from writing
// it: the way a Windows program opens a table for its own use, and so the test of whether
// another program has the file open for writing. EWOULDBLOCK when one does (Windows' sharing
// violation); ENOENT when it is not there. POSIX opens have no such sharing: there it is
// openForReading.
int openDenyingWriters(const std::filesystem::path& path, File& file);

// Opens a folder and holds it for this process alone: a second holder, in this process or
// another, gets EWOULDBLOCK until `holder` is closed. The folder's files stay usable.
int holdFolder(const std::filesystem::path& path, File& holder);

// Creates a new file for writing, in binary mode; EEXIST when the name is taken.
int createNew(const std::filesystem::path& path, File& file);

// Takes a lock on the open file without waiting: shared locks exclude only exclusive ones, an
// exclusive lock excludes every other opener's lock, in this process or another. The lock
// goes with the file when it is closed. EWOULDBLOCK when another opener holds a lock in the way.
int lock(const File& file, bool exclusive);

// Writes up to size bytes at the file's position; `written` says how many went.
int write(const File& file, const void* data, std::size_t size, std::size_t& written);

// The file's size in bytes.
int sizeOf(const File& file, std::uint64_t& size);

// Reads up to `size` bytes from `offset`, whatever the file's position; fewer where the file
// ends first.
int readAt(const File& file, std::uint64_t offset, std::size_t size, std::string& bytes);

// Makes the file's bytes durable.
int flush(const File& file);

// Permission bits for a file made to replace another (POSIX only; Windows has none to keep).
int setPermissions(const File& file, unsigned mode);

// Which file an open file or a name is: equal identities are the same file.
struct Identity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const Identity&) const = default;
};
struct FileInfo {
    Identity identity;
    unsigned permissions = 0644;
};
int describe(const File& file, FileInfo& info);
int describe(const std::filesystem::path& path, FileInfo& info);

// The permission bits a newly made file gets (0666 less the process's mask on POSIX).
unsigned defaultPermissions();

// Renames from over to, replacing to when it exists, durably. Neither name may be held open:
// Windows refuses to replace (or rename) a file that is open.
int rename(const std::filesystem::path& from, const std::filesystem::path& to);

// Renames from over the existing file `to` so that the file keeps what belongs to it rather
// than to its bytes: on Windows its access list, attributes and streams (ReplaceFile), which a
// rename would replace by those `from` was given in its folder. A plain rename when `to` is not
// there, and on POSIX, where the caller gives `from` the permission bits. Neither name may be
// held open.
int replaceKeepingAccess(const std::filesystem::path& from, const std::filesystem::path& to);

// Moves a folder, with what it holds, to a name not yet taken in the same file system. Nothing
// in it may be held open.
int renameFolder(const std::filesystem::path& from, const std::filesystem::path& to);

// A second name for an existing file; EEXIST when the new name is taken.
int link(const std::filesystem::path& existing, const std::filesystem::path& newName);

int remove(const std::filesystem::path& path);
// Removes an empty folder.
int removeFolder(const std::filesystem::path& path);
int makeFolder(const std::filesystem::path& path, unsigned mode);

// One entry of a folder, by its name alone: a link to a folder is listed as a file, so that
// removing it cannot remove what it names.
struct Listed {
    std::filesystem::path name;
    bool folder = false;
};
// The entries of a folder, in no particular order, with their kinds as the listing gives them.
int listFolder(const std::filesystem::path& dir, std::vector<Listed>& entries);

// Makes the renames, links and removals in a folder durable.
int flushFolder(const std::filesystem::path& dir);

// Makes every file written under dir durable, however many there are.
int flushEverythingUnder(const std::filesystem::path& dir);

// Breaks the local time of `when` into its fields.
std::tm localTime(std::time_t when);

// The user's regional short date, one blank and the long time, in the system's code page;
// no value where the platform has no regional formats.
std::optional<std::string> regionalDateTime(const std::tm& when);

// An environment variable naming a file or folder; no value when unset or empty.
std::optional<std::filesystem::path> environmentPath(const char* name);

// The work database when nothing else names it: C:\WTEMP as a Windows program sees it.
std::filesystem::path defaultWorkDb();

// Stops the process where it stands, for a test to kill it there: SIGSTOP on POSIX; on
// Windows, where a process cannot stop itself, it signals the event
// "Local\\lindavex-stopped-<process id>" and waits for ever.
void stopForKill();

}  // namespace lindavex::store::platform
