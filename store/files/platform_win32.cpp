#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>

#include "store/files/platform.h"

namespace lindavex::store::platform {
namespace fs = std::filesystem;
namespace {

HANDLE handleOf(const File& file) { return reinterpret_cast<HANDLE>(file.native()); }

// The POSIX error the callers test for a Windows one.
int errnoFor(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EWOULDBLOCK;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return EOPNOTSUPP;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_INVALID_NAME:
        case ERROR_DIRECTORY:
        case ERROR_FILENAME_EXCED_RANGE:
            return EINVAL;
        default:
            return EIO;
    }
}

int lastError() { return errnoFor(GetLastError()); }
int result(BOOL ok) { return ok ? 0 : lastError(); }

int openWith(const fs::path& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
             File& file) {
    const HANDLE handle =
        CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return lastError();
    file = File(reinterpret_cast<std::intptr_t>(handle));
    return 0;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Locks are taken on one byte far past any table's data, so that they exclude other lockers
// without stopping anybody from reading the file (Windows locks are enforced on the bytes they
// cover).
constexpr DWORD kLockOffset = 0x7FFFFFFE;

}  // namespace

int File::close() {
    const std::intptr_t handle = release();
    return handle == kNone ? 0 : result(CloseHandle(reinterpret_cast<HANDLE>(handle)));
}

// Shared for reading and writing, not for deleting: like any Windows program, the tool keeps
// a file it has open from being deleted or replaced under it.
int openForReading(const fs::path& path, File& file) {
    return openWith(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, file);
}

// Other programs' table engines take locks of their own, at bytes this one does not know; what
// every Windows program shares is the sharing mode. Sharing only reading fails on any handle
// open for writing, and refuses later writers until this one is closed.
int openDenyingWriters(const fs::path& path, File& file) {
    return openWith(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                    file);
}

// A folder cannot be locked; instead the holder opens it for adding files and shares that with
// nobody, so a second holder's open fails. Opening the folder to list or to create files in it
// asks for less and is not refused.
int holdFolder(const fs::path& path, File& holder) {
    return openWith(path, FILE_LIST_DIRECTORY | FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, holder);
}

int createNew(const fs::path& path, File& file) {
    return openWith(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, file);
}

int lock(const File& file, bool exclusive) {
    OVERLAPPED where{};
    where.Offset = kLockOffset;
    const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
    return result(LockFileEx(handleOf(file), flags, 0, 1, 0, &where));
}

int write(const File& file, const void* data, std::size_t size, std::size_t& written) {
    DWORD done = 0;
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!WriteFile(handleOf(file), data, chunk, &done, nullptr)) return lastError();
    written = done;
    return 0;
}

int sizeOf(const File& file, std::uint64_t& size) {
    LARGE_INTEGER bytes{};
    if (!GetFileSizeEx(handleOf(file), &bytes)) return lastError();
    size = static_cast<std::uint64_t>(bytes.QuadPart);
    return 0;
}

int readAt(const File& file, std::uint64_t offset, std::size_t size, std::string& bytes) {
    // Every byte kept is read over; a buffer used again is not cleared first.
    bytes.resize(size);
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t from = offset + done;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(from & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        const std::size_t left = size - done;
        DWORD n = 0;
        if (!ReadFile(handleOf(file), bytes.data() + done,
                      left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left), &n, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return lastError();
        }
        if (n == 0) break;
        done += n;
    }
    bytes.resize(done);
    return 0;
}

int flush(const File& file) { return result(FlushFileBuffers(handleOf(file))); }

int setPermissions(const File& /*file*/, unsigned /*mode*/) { return 0; }

namespace {

FileInfo infoOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {{info.dwVolumeSerialNumber,
             (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow},
            (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444u : 0644u};
}

}  // namespace

// The handle's own identity: the C runtime's stat reports no inode.
int describe(const File& file, FileInfo& info) {
    BY_HANDLE_FILE_INFORMATION about{};
    if (!GetFileInformationByHandle(handleOf(file), &about)) return lastError();
    info = infoOf(about);
    return 0;
}

int describe(const fs::path& path, FileInfo& info) {
    File file;
    if (const int error =
            openWith(path, 0, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, file);
        error != 0)
        return error;
    return describe(file, info);
}

unsigned defaultPermissions() { return 0644; }

int rename(const fs::path& from, const fs::path& to) {
    return result(
        MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

// MOVEFILE_REPLACE_EXISTING is refused for folders; the name is new anyway.
int renameFolder(const fs::path& from, const fs::path& to) {
    return result(MoveFileExW(from.c_str(), to.c_str(), 0));
}

int replaceKeepingAccess(const fs::path& from, const fs::path& to) {
    if (GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND)
        return platform::rename(from, to);
    if (ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr))
        return 0;
    const DWORD error = GetLastError();
    // The old file is gone and the new one kept its name: it only has to take the old name.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) return platform::rename(from, to);
    return errnoFor(error);
}

int link(const fs::path& existing, const fs::path& newName) {
    return result(CreateHardLinkW(newName.c_str(), existing.c_str(), nullptr));
}

int remove(const fs::path& path) { return result(DeleteFileW(path.c_str())); }

int removeFolder(const fs::path& path) { return result(RemoveDirectoryW(path.c_str())); }

int makeFolder(const fs::path& path, unsigned /*mode*/) {
    return result(CreateDirectoryW(path.c_str(), nullptr));
}

int listFolder(const fs::path& dir, std::vector<Listed>& entries) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        const bool folder = !it->is_symlink(kind) && it->is_directory(kind);
        entries.push_back({it->path().filename(), folder});
    }
    if (!ec) return 0;
    const std::error_condition reason = ec.default_error_condition();
    return reason.category() == std::generic_category() && reason.value() != 0 ? reason.value()
                                                                               : EIO;
}

// Renames are made durable by MOVEFILE_WRITE_THROUGH, and NTFS journals its folders.
int flushFolder(const fs::path& /*dir*/) { return 0; }

// Flushing a whole volume needs an administrator; each file is flushed instead.
int flushEverythingUnder(const fs::path& dir) {
    std::error_code ec;
    fs::recursive_directory_iterator it(dir, ec);
    if (ec) return ec.value() == 0 ? EIO : errnoFor(static_cast<DWORD>(ec.value()));
    for (fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return EIO;
        if (!it->is_regular_file(ec)) continue;
        File file;
        if (const int error = openWith(it->path(), GENERIC_WRITE, kShareAll, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, file);
            error != 0)
            return error;
        if (const int error = flush(file); error != 0) return error;
    }
    return ec ? EIO : 0;
}

std::tm localTime(std::time_t when) {
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}

std::optional<std::string> regionalDateTime(const std::tm& when) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(when.tm_year + 1900);
    st.wMonth = static_cast<WORD>(when.tm_mon + 1);
    st.wDay = static_cast<WORD>(when.tm_mday);
    st.wHour = static_cast<WORD>(when.tm_hour);
    st.wMinute = static_cast<WORD>(when.tm_min);
    st.wSecond = static_cast<WORD>(when.tm_sec);
    char date[128];
    char time[128];
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date) <= 0 ||
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time) <= 0)
        return std::nullopt;
    return std::string(date) + ' ' + time;
}

std::optional<fs::path> environmentPath(const char* name) {
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    const wchar_t* value = _wgetenv(wide.c_str());
    if (value == nullptr || *value == L'\0') return std::nullopt;
    return fs::path(value);
}

fs::path defaultWorkDb() { return fs::path(L"C:\\WTEMP"); }

void stopForKill() {
    const std::wstring name = L"Local\\lindavex-stopped-" + std::to_wstring(GetCurrentProcessId());
    if (HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, name.c_str())) SetEvent(stopped);
    for (;;) Sleep(INFINITE);
}

}  // namespace lindavex::store::platform
