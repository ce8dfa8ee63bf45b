#pragma once
// The one layer through which the system reads and changes files: reading, writing, flushing,
// renaming, linking, deleting, creating folders, listing them, and reading the clock. Every such
// call is counted, so that tests can make the Nth one fail (a full disk, a failing rename, a
// file that cannot be read) or stop the process there (an interrupted run), and tests can move
// the clock.
//
// Crash safety. A run may be killed, or the machine may stop, at any file call. What every
// layer relies on, and the code cites by number ("invariant N"):
//
//  1. A file is replaced whole: the new bytes go to a hidden file beside the target, are
//     flushed, and are renamed over it; then the folder is flushed. A reader sees the old
//     file or the whole new one, never a mixture, and a failure leaves no temporary file.
//     (replaceFile, writeBeside, FileBeside; a table's .DBF/.MDX pair; the result file;
//     Morvalen.ini.)
//  2. to 6. The first action's work database changed all together or not at all: stated and
//     kept by the table swap, store/workdb/table_swap.h.
//  7. The second action writes nothing but its result, by invariant 1: streamed into its hidden
//     file as the timetable is read and renamed into place once the whole timetable is there.
//     An earlier result stays whole until then, a run that stops early leaves none, and the
//     chosen centre file is never opened for writing.
//
// So atomicity has two owners: this layer, for one file (1); the table swap, for the work
// database as a whole (2 to 6). The table engine relies on 1 and adds only its locks.
//
// Every call answers as the platform layer under it does: 0, or the errno value of what failed
// (Windows errors mapped onto the POSIX ones). Nothing here sets or reads errno.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/files/platform.h"

namespace lindavex::store::file_io {

enum class Operation {
    Write,
    Flush,
    Rename,
    Link,
    Delete,
    CreateDirectory,
    CreateFile,
    Read,  // a file read whole, or part of an open file
    List,  // a folder's entries
};

int rename(const std::filesystem::path& from, const std::filesystem::path& to);
// A folder moved to a new name; counted as a rename.
int renameFolder(const std::filesystem::path& from, const std::filesystem::path& to);
int link(const std::filesystem::path& existing, const std::filesystem::path& newName);
int unlink(const std::filesystem::path& path);
int mkdir(const std::filesystem::path& dir, mode_t mode = 0777);
// Removes an empty folder; counted as a delete.
int rmdir(const std::filesystem::path& dir);
// Removes a folder with everything in it, each file and folder a delete of its own; a folder
// that is not there is no error. Stops at the first failure.
int removeTree(const std::filesystem::path& dir);

// Reads a whole file.
int readFile(const std::filesystem::path& path, std::string& bytes);
// Reads up to `size` bytes of an open file from `offset` (platform::readAt), counted as a read.
int readAt(const platform::File& file, std::uint64_t offset, std::size_t size, std::string& bytes);
// Whether two files of one size hold the same bytes but for those in [skipFrom, skipTo): read
// piece by piece, each piece counted as a read; `size` is the first file's size.
int sameBytesOutside(const std::filesystem::path& a, const std::filesystem::path& b,
                     std::size_t skipFrom, std::size_t skipTo, bool& same, std::uint64_t& size);
// Writes a new file that must not exist yet (EEXIST when the name is taken), flushed unless
// flushes are deferred; on failure nothing is left under the name.
int writeNewFile(const std::filesystem::path& path, std::string_view bytes);
// A new file holding what `from` holds (readFile, then writeNewFile).
int copyFile(const std::filesystem::path& from, const std::filesystem::path& to);

// One entry of a folder.
struct Entry {
    std::filesystem::path path;
    bool folder = false;
};
// The entries of a folder, in no particular order.
int listFolder(const std::filesystem::path& dir, std::vector<Entry>& entries);
// The same by their names alone, for a caller that joins only the few it wants to the folder.
int listFolder(const std::filesystem::path& dir, std::vector<platform::Listed>& entries);

// The wall clock, as the system's dated names and headers read it; tests may move it.
std::time_t now();
// Moves what now() answers by `shift` from the real clock (tests: a clock set back or ahead).
void shiftClock(std::chrono::seconds shift);

// Flushes a folder's entries (after a rename or link in it). Folders that cannot be opened
// are left alone: the files themselves are complete either way.
int syncDirectory(const std::filesystem::path& dir);

// Writes bytes to a new hidden file beside target (".NAME.XXXXXX", six letters or digits that
// no file there has) with the given mode and flushes it; on success `temp` names it and the
// caller moves it into place. On failure nothing is left behind.
int writeBeside(const std::filesystem::path& target, std::string_view bytes, mode_t mode,
                std::filesystem::path& temp);
// The same with the bytes in pieces, written one after the other: a table's records are not
// copied behind its header first.
int writeBeside(const std::filesystem::path& target, std::span<const std::string_view> pieces,
                mode_t mode, std::filesystem::path& temp);

// Replaces target by a file holding bytes (invariant 1): written beside it, flushed, renamed
// over it, then the folder flushed. The target is the old file or the whole new one, never a
// mixture, and no temporary file stays behind on failure.
int replaceFile(const std::filesystem::path& target, std::string_view bytes, mode_t mode);

// replaceFile for a file that another program owns ("Morvalen.ini"): an existing target keeps
// its access list and attributes (platform::replaceKeepingAccess) rather than taking those of
// the file written beside it. Counted as a rename.
int replaceFileKeepingAccess(const std::filesystem::path& target, std::string_view bytes,
                             mode_t mode);

// A file written piece by piece beside its target and renamed over it once whole (invariant 1):
// the same calls, in the same order, as replaceFile makes. Destroyed before commit() succeeds,
// it removes its file, and the target stays as it was.
class FileBeside {
  public:
    FileBeside(std::filesystem::path target, mode_t mode);
    ~FileBeside();
    FileBeside(const FileBeside&) = delete;
    FileBeside& operator=(const FileBeside&) = delete;

    int create();
    int write(std::string_view bytes);
    int commit();  // permissions, flush, close, rename over the target, flush of the folder

  private:
    std::filesystem::path target_;
    mode_t mode_;
    platform::File file_;
    std::filesystem::path created_;
};

// Removes what writeBeside or FileBeside left beside target in a run that was killed before its
// rename: only regular files named exactly as they name their temporaries for this target, and
// only when last written at least `age` ago, since a live writer writes its file without pause
// and renames it once done. Failures are ignored: a leftover is in nobody's way.
void removeStaleBeside(const std::filesystem::path& target, std::chrono::seconds age);

// Files written only to be moved elsewhere later (a run's tables built aside) need not be
// flushed one by one: while a DeferredFlushes lives, flushes of files and folders are skipped,
// and the owner makes everything durable at once with flushFileSystem() before it moves the
// files into place.
class DeferredFlushes {
  public:
    DeferredFlushes();
    ~DeferredFlushes();
    DeferredFlushes(const DeferredFlushes&) = delete;
    DeferredFlushes& operator=(const DeferredFlushes&) = delete;
};

// Flushes everything written to the file system that holds dir (one call, however many files).
int flushFileSystem(const std::filesystem::path& dir);

// Failure injection, for tests. Calls are counted per operation and in total from the last
// reset; the armed failure makes the Nth call of its operation (counted from 1) fail with the
// given errno, that call only or, when `sticky`, every later one as well (a full disk).
struct Injection {
    Operation operation;
    std::size_t nth;
    int error;
    bool sticky = false;
};
void inject(const Injection& failure);
void reset();  // clears counts and any armed failure
std::size_t calls(Operation operation);
std::size_t totalCalls();

// When the environment variable LINDAVEX_STOP_AT_FILE_CALL holds N, the process stops itself
// (platform::stopForKill) just before its Nth call of any operation, so that a test can kill it
// exactly there.

}  // namespace lindavex::store::file_io
