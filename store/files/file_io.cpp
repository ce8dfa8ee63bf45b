#include "store/files/file_io.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace lindavex::store::file_io {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kOperations = 9;

struct Counters {
    std::array<std::size_t, kOperations> perOperation{};
    std::size_t total = 0;
    std::optional<Injection> armed;
    std::chrono::seconds clockShift{0};
};

// Nesting depth of DeferredFlushes scopes (the tool is single-threaded).
int deferDepth = 0;

Counters& counters() {
    static Counters state;
    return state;
}

std::size_t stopPoint() {
    static const std::size_t point = [] {
        const char* text = std::getenv("LINDAVEX_STOP_AT_FILE_CALL");
        return text == nullptr ? std::size_t{0}
                               : static_cast<std::size_t>(std::strtoull(text, nullptr, 10));
    }();
    return point;
}

// Counts a call about to be made: 0, or the error it is to fail with instead.
int injected(Operation operation) {
    Counters& state = counters();
    const std::size_t count = ++state.perOperation[static_cast<std::size_t>(operation)];
    ++state.total;
    if (stopPoint() != 0 && state.total == stopPoint()) platform::stopForKill();
    if (state.armed && state.armed->operation == operation &&
        (count == state.armed->nth || (state.armed->sticky && count > state.armed->nth)))
        return state.armed->error;
    return 0;
}

// Six letters and digits that no other writer of the same folder is likely to pick at the same
// moment: the clock, a per-process counter and the process's own address space layout.
std::string uniqueSuffix() {
    static std::atomic<std::uint64_t> counter{0};
    static const auto seed = reinterpret_cast<std::uintptr_t>(&counter);
    std::uint64_t value =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (seed * 0x9E3779B97F4A7C15ull) ^ (++counter * 0xBF58476D1CE4E5B9ull);
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string text(6, 'X');
    for (char& c : text) {
        c = kLetters[value % 62];
        value /= 62;
    }
    return text;
}

int writeSome(const platform::File& file, const void* data, std::size_t size,
              std::size_t& written) {
    if (const int error = injected(Operation::Write); error != 0) return error;
    return platform::write(file, data, size, written);
}

int flushFile(const platform::File& file) {
    if (deferDepth > 0) return 0;
    if (const int error = injected(Operation::Flush); error != 0) return error;
    return platform::flush(file);
}

// Creates and opens a new hidden file beside target (".NAME.XXXXXX"); `created` names it.
int createBeside(const fs::path& target, platform::File& file, fs::path& created) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (const int error = injected(Operation::CreateFile); error != 0) return error;
        fs::path name(".");
        name += target.filename().native();  // native: no round trip through a code page
        name += "." + uniqueSuffix();
        const fs::path candidate = folder / name;
        const int error = platform::createNew(candidate, file);
        if (error == 0) {
            created = candidate;
            return 0;
        }
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

// Writes every byte, retrying short writes and interrupted calls.
int writeAll(const platform::File& file, std::string_view bytes) {
    while (!bytes.empty()) {
        std::size_t written = 0;
        const int error = writeSome(file, bytes.data(), bytes.size(), written);
        if (error == EINTR) continue;
        if (error != 0) return error;
        if (written == 0) return EIO;
        bytes.remove_prefix(written);
    }
    return 0;
}

}  // namespace

int rename(const fs::path& from, const fs::path& to) {
    if (const int error = injected(Operation::Rename); error != 0) return error;
    return platform::rename(from, to);
}

int renameFolder(const fs::path& from, const fs::path& to) {
    if (const int error = injected(Operation::Rename); error != 0) return error;
    return platform::renameFolder(from, to);
}

int link(const fs::path& existing, const fs::path& newName) {
    if (const int error = injected(Operation::Link); error != 0) return error;
    return platform::link(existing, newName);
}

int unlink(const fs::path& path) {
    if (const int error = injected(Operation::Delete); error != 0) return error;
    return platform::remove(path);
}

int mkdir(const fs::path& dir, mode_t mode) {
    if (const int error = injected(Operation::CreateDirectory); error != 0) return error;
    return platform::makeFolder(dir, mode);
}

int rmdir(const fs::path& dir) {
    if (const int error = injected(Operation::Delete); error != 0) return error;
    return platform::removeFolder(dir);
}

int removeTree(const fs::path& dir) {
    std::vector<Entry> entries;
    if (const int error = listFolder(dir, entries); error != 0) return error == ENOENT ? 0 : error;
    for (const Entry& entry : entries) {
        const int error = entry.folder ? removeTree(entry.path) : file_io::unlink(entry.path);
        if (error != 0 && error != ENOENT) return error;
    }
    const int error = file_io::rmdir(dir);
    return error == ENOENT ? 0 : error;
}

int readAt(const platform::File& file, std::uint64_t offset, std::size_t size, std::string& bytes) {
    if (const int error = injected(Operation::Read); error != 0) return error;
    return platform::readAt(file, offset, size, bytes);
}

int sameBytesOutside(const fs::path& a, const fs::path& b, std::size_t skipFrom, std::size_t skipTo,
                     bool& same, std::uint64_t& size) {
    same = false;
    size = 0;
    platform::File first;
    platform::File second;
    if (const int error = platform::openForReading(a, first); error != 0) return error;
    if (const int error = platform::openForReading(b, second); error != 0) return error;
    std::uint64_t otherSize = 0;
    if (const int error = platform::sizeOf(first, size); error != 0) return error;
    if (const int error = platform::sizeOf(second, otherSize); error != 0) return error;
    if (size != otherSize) return 0;
    // Two buffers of one piece each, filled again and again, rather than two whole copies.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::string mine;
    std::string theirs;
    for (std::uint64_t at = 0; at < size; at += kPiece) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size - at));
        if (const int error = file_io::readAt(first, at, want, mine); error != 0) return error;
        if (const int error = file_io::readAt(second, at, want, theirs); error != 0) return error;
        if (mine.size() != want || theirs.size() != want) return 0;  // shrank meanwhile
        for (std::uint64_t p = std::max<std::uint64_t>(at, skipFrom);
             p < std::min<std::uint64_t>(at + want, skipTo); ++p)
            mine[p - at] = theirs[p - at];
        if (mine != theirs) return 0;
    }
    same = true;
    return 0;
}

int readFile(const fs::path& path, std::string& bytes) {
    platform::File file;
    if (const int error = platform::openForReading(path, file); error != 0) return error;
    std::uint64_t size = 0;
    if (const int error = platform::sizeOf(file, size); error != 0) return error;
    if (size > SIZE_MAX) return EFBIG;
    if (const int error = file_io::readAt(file, 0, static_cast<std::size_t>(size), bytes);
        error != 0)
        return error;
    // A file that grew or shrank meanwhile is read as far as it went.
    return 0;
}

int writeNewFile(const fs::path& path, std::string_view bytes) {
    platform::File file;
    if (const int error = injected(Operation::CreateFile); error != 0) return error;
    if (const int error = platform::createNew(path, file); error != 0) return error;
    int error = writeAll(file, bytes);
    if (error == 0) error = flushFile(file);
    if (const int closed = file.close(); closed != 0 && error == 0) error = closed;
    if (error != 0) platform::remove(path);  // clean-up of our own file
    return error;
}

int copyFile(const fs::path& from, const fs::path& to) {
    std::string bytes;
    if (const int error = readFile(from, bytes); error != 0) return error;
    return writeNewFile(to, bytes);
}

int listFolder(const fs::path& dir, std::vector<platform::Listed>& entries) {
    entries.clear();
    if (const int error = injected(Operation::List); error != 0) return error;
    if (const int error = platform::listFolder(dir, entries); error != 0) {
        entries.clear();
        return error;
    }
    return 0;
}

int listFolder(const fs::path& dir, std::vector<Entry>& entries) {
    entries.clear();
    std::vector<platform::Listed> listed;
    if (const int error = file_io::listFolder(dir, listed); error != 0) return error;
    entries.reserve(listed.size());
    for (const platform::Listed& entry : listed)
        entries.push_back({dir / entry.name, entry.folder});
    return 0;
}

std::time_t now() {
    return std::time(nullptr) + static_cast<std::time_t>(counters().clockShift.count());
}

void shiftClock(std::chrono::seconds shift) { counters().clockShift = shift; }

int syncDirectory(const fs::path& dir) {
    if (deferDepth > 0) return 0;
    if (const int error = injected(Operation::Flush); error != 0) return error;
    return platform::flushFolder(dir);
}

int writeBeside(const fs::path& target, std::string_view bytes, mode_t mode, fs::path& temp) {
    return writeBeside(target, std::span<const std::string_view>(&bytes, 1), mode, temp);
}

int writeBeside(const fs::path& target, std::span<const std::string_view> pieces, mode_t mode,
                fs::path& temp) {
    platform::File file;
    fs::path created;
    if (const int error = createBeside(target, file, created); error != 0) return error;
    int error = 0;
    for (const std::string_view piece : pieces)
        if (error == 0) error = writeAll(file, piece);
    if (error == 0) error = platform::setPermissions(file, mode);
    if (error == 0) error = flushFile(file);
    if (const int closed = file.close(); closed != 0 && error == 0) error = closed;
    if (error != 0) {
        platform::remove(created);  // clean-up of our own file, not an operation on the data
        return error;
    }
    temp = created;
    return 0;
}

namespace {

int replaceWith(const fs::path& target, std::string_view bytes, mode_t mode,
                int (*move)(const fs::path&, const fs::path&)) {
    fs::path temp;
    if (const int error = writeBeside(target, bytes, mode, temp); error != 0) return error;
    int error = injected(Operation::Rename);
    if (error == 0) error = move(temp, target);
    if (error != 0) {
        platform::remove(temp);
        return error;
    }
    // The rename itself lasts only once the folder is flushed; the file is complete either way.
    syncDirectory(target.parent_path());
    return 0;
}

}  // namespace

int replaceFile(const fs::path& target, std::string_view bytes, mode_t mode) {
    return replaceWith(target, bytes, mode, platform::rename);
}

int replaceFileKeepingAccess(const fs::path& target, std::string_view bytes, mode_t mode) {
    return replaceWith(target, bytes, mode, platform::replaceKeepingAccess);
}

FileBeside::FileBeside(fs::path target, mode_t mode) : target_(std::move(target)), mode_(mode) {}

FileBeside::~FileBeside() {
    if (created_.empty()) return;
    file_.close();
    platform::remove(created_);  // clean-up of our own file, not an operation on the data
}

int FileBeside::create() { return createBeside(target_, file_, created_); }

int FileBeside::write(std::string_view bytes) { return writeAll(file_, bytes); }

int FileBeside::commit() {
    int error = platform::setPermissions(file_, mode_);
    if (error == 0) error = flushFile(file_);
    if (const int closed = file_.close(); closed != 0 && error == 0) error = closed;
    if (error == 0) error = file_io::rename(created_, target_);
    if (error != 0) return error;
    created_.clear();
    // The rename itself lasts only once the folder is flushed; the file is complete either way.
    syncDirectory(target_.parent_path());
    return 0;
}

void removeStaleBeside(const fs::path& target, std::chrono::seconds age) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const std::string prefix = "." + target.filename().string() + ".";
    const auto before = fs::file_time_type::clock::now() - age;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // writeBeside's XXXXXX become six letters or digits.
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix) ||
            !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                         [](unsigned char c) { return std::isalnum(c) != 0; }))
            continue;
        std::error_code fileError;
        if (it->symlink_status(fileError).type() == fs::file_type::regular &&
            fs::last_write_time(it->path(), fileError) <= before && !fileError)
            file_io::unlink(it->path());
    }
}

DeferredFlushes::DeferredFlushes() { ++deferDepth; }
DeferredFlushes::~DeferredFlushes() { --deferDepth; }

int flushFileSystem(const fs::path& dir) {
    if (const int error = injected(Operation::Flush); error != 0) return error;
    return platform::flushEverythingUnder(dir);
}

void inject(const Injection& failure) { counters().armed = failure; }

void reset() { counters() = Counters{}; }

std::size_t calls(Operation operation) {
    return counters().perOperation[static_cast<std::size_t>(operation)];
}

std::size_t totalCalls() { return counters().total; }

}  // namespace lindavex::store::file_io
