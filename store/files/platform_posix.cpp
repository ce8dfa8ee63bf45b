#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "store/files/platform.h"

namespace lindavex::store::platform {
namespace fs = std::filesystem;
namespace {

int fd(const File& file) { return static_cast<int>(file.native()); }

int openWith(const fs::path& path, int flags, mode_t mode, File& file) {
    const int opened = ::open(path.empty() ? "." : path.c_str(), flags | O_CLOEXEC, mode);
    if (opened < 0) return errno;
    file = File(opened);
    return 0;
}

int result(int status) { return status == 0 ? 0 : errno; }

FileInfo infoOf(const struct stat& st) {
    return {{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
            static_cast<unsigned>(st.st_mode & 07777)};
}

}  // namespace

int File::close() {
    const std::intptr_t handle = release();
    return handle == kNone ? 0 : result(::close(static_cast<int>(handle)));
}

int openForReading(const fs::path& path, File& file) { return openWith(path, O_RDONLY, 0, file); }

int openDenyingWriters(const fs::path& path, File& file) { return openForReading(path, file); }

int holdFolder(const fs::path& path, File& holder) {
    File folder;
    if (const int error = openWith(path, O_RDONLY | O_DIRECTORY, 0, folder); error != 0)
        return error;
    if (const int error = lock(folder, true); error != 0) return error;
    holder = std::move(folder);
    return 0;
}

int createNew(const fs::path& path, File& file) {
    return openWith(path, O_WRONLY | O_CREAT | O_EXCL, 0600, file);
}

namespace {

// Whether another opener holds a record lock (fcntl or lockf) that the lock wanted would
// conflict with, anywhere in the file: Windows programs under Wine lock tables that way, out of
// flock's sight. A file where record locks cannot be asked about has none in the way.
bool recordLockInTheWay(const File& file, bool exclusive) {
    struct flock probe {};
    probe.l_type = exclusive ? F_WRLCK : F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;  // to the end of every offset, where table engines put their lock bytes
    return ::fcntl(fd(file), F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

}  // namespace

int lock(const File& file, bool exclusive) {
    if (::flock(fd(file), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) return errno;
    if (recordLockInTheWay(file, exclusive)) {
        ::flock(fd(file), LOCK_UN);
        return EWOULDBLOCK;
    }
    return 0;
}

int write(const File& file, const void* data, std::size_t size, std::size_t& written) {
    const ssize_t n = ::write(fd(file), data, size);
    if (n < 0) return errno;
    written = static_cast<std::size_t>(n);
    return 0;
}

int sizeOf(const File& file, std::uint64_t& size) {
    struct stat st {};
    if (::fstat(fd(file), &st) != 0) return errno;
    size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

int readAt(const File& file, std::uint64_t offset, std::size_t size, std::string& bytes) {
    // Every byte kept is read over; a buffer used again is not cleared first.
    bytes.resize(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(fd(file), bytes.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return 0;
}

int flush(const File& file) { return result(::fsync(fd(file))); }

int setPermissions(const File& file, unsigned mode) {
    return result(::fchmod(fd(file), static_cast<mode_t>(mode)));
}

int describe(const File& file, FileInfo& info) {
    struct stat st {};
    if (::fstat(fd(file), &st) != 0) return errno;
    info = infoOf(st);
    return 0;
}

int describe(const fs::path& path, FileInfo& info) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno;
    info = infoOf(st);
    return 0;
}

unsigned defaultPermissions() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

int rename(const fs::path& from, const fs::path& to) {
    return result(::rename(from.c_str(), to.c_str()));
}

int replaceKeepingAccess(const fs::path& from, const fs::path& to) {
    return platform::rename(from, to);
}

int renameFolder(const fs::path& from, const fs::path& to) { return platform::rename(from, to); }

int link(const fs::path& existing, const fs::path& newName) {
    return result(::link(existing.c_str(), newName.c_str()));
}

int remove(const fs::path& path) { return result(::unlink(path.c_str())); }

int removeFolder(const fs::path& path) { return result(::rmdir(path.c_str())); }

int makeFolder(const fs::path& path, unsigned mode) {
    return result(::mkdir(path.c_str(), static_cast<mode_t>(mode)));
}

int listFolder(const fs::path& dir, std::vector<Listed>& entries) {
    DIR* folder = ::opendir(dir.c_str());
    if (folder == nullptr) return errno;
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (entry == nullptr) {
            error = errno;
            break;
        }
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        bool isFolder = entry->d_type == DT_DIR;
        // Some file systems do not say in the listing: asked of the entry itself, not followed.
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            isFolder = ::fstatat(::dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(info.st_mode);
        }
        entries.push_back({fs::path(name), isFolder});
    }
    ::closedir(folder);
    return error;
}

int flushFolder(const fs::path& dir) {
    File folder;
    if (openWith(dir, O_RDONLY | O_DIRECTORY, 0, folder) != 0)
        return 0;  // the files themselves are complete either way
    return flush(folder);
}

int flushEverythingUnder(const fs::path& dir) {
    File folder;
    if (const int error = openWith(dir, O_RDONLY | O_DIRECTORY, 0, folder); error != 0)
        return error;
    return result(::syncfs(fd(folder)));
}

std::tm localTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

std::optional<std::string> regionalDateTime(const std::tm& /*when*/) { return std::nullopt; }

std::optional<fs::path> environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return fs::path(value);
}

// Where Wine keeps the C:\WTEMP of the Windows programs it runs: $WINEPREFIX/drive_c/WTEMP,
// ~/.wine when WINEPREFIX is unset.
fs::path defaultWorkDb() {
    if (auto prefix = environmentPath("WINEPREFIX")) return *prefix / "drive_c" / "WTEMP";
    return environmentPath("HOME").value_or(fs::path()) / ".wine" / "drive_c" / "WTEMP";
}

void stopForKill() { ::raise(SIGSTOP); }

}  // namespace lindavex::store::platform
