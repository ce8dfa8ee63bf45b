#include "store/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

namespace lindavex::store::file_io {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kOperations = 7;

struct Counters {
    std::array<std::size_t, kOperations> perOperation{};
    std::size_t total = 0;
    std::optional<Injection> armed;
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

// Counts a call about to be made; false (errno set) when it is to fail instead.
bool proceed(Operation operation) {
    Counters& state = counters();
    const std::size_t count = ++state.perOperation[static_cast<std::size_t>(operation)];
    ++state.total;
    if (stopPoint() != 0 && state.total == stopPoint()) ::raise(SIGSTOP);
    if (state.armed && state.armed->operation == operation &&
        (count == state.armed->nth || (state.armed->sticky && count > state.armed->nth))) {
        errno = state.armed->error;
        return false;
    }
    return true;
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }
    // Closes now and reports the close's own failure (a write the file system deferred).
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

}  // namespace

ssize_t write(int fd, const void* data, std::size_t size) {
    if (!proceed(Operation::Write)) return -1;
    return ::write(fd, data, size);
}

int fsync(int fd) {
    if (deferDepth > 0) return 0;
    if (!proceed(Operation::Flush)) return -1;
    return ::fsync(fd);
}

int rename(const fs::path& from, const fs::path& to) {
    if (!proceed(Operation::Rename)) return -1;
    return ::rename(from.c_str(), to.c_str());
}

int link(const fs::path& existing, const fs::path& newName) {
    if (!proceed(Operation::Link)) return -1;
    return ::link(existing.c_str(), newName.c_str());
}

int unlink(const fs::path& path) {
    if (!proceed(Operation::Delete)) return -1;
    return ::unlink(path.c_str());
}

int mkdir(const fs::path& dir, mode_t mode) {
    if (!proceed(Operation::CreateDirectory)) return -1;
    return ::mkdir(dir.c_str(), mode);
}

int mkstemp(std::string& pattern) {
    if (!proceed(Operation::CreateFile)) return -1;
    return ::mkstemp(pattern.data());
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int syncDirectory(const fs::path& dir) {
    Descriptor folder(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) return 0;
    return fsync(folder.get()) == 0 ? 0 : errno;
}

int writeBeside(const fs::path& target, std::string_view bytes, mode_t mode, fs::path& temp) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    Descriptor fd(file_io::mkstemp(pattern));
    if (fd.get() < 0) return errno;
    int error = writeAll(fd.get(), bytes);
    if (error == 0 && ::fchmod(fd.get(), mode) != 0) error = errno;
    if (error == 0 && fsync(fd.get()) != 0) error = errno;
    if (fd.close() != 0 && error == 0) error = errno;
    if (error != 0) {
        ::unlink(pattern.c_str());  // clean-up of our own file, not an operation on the data
        return error;
    }
    temp = pattern;
    return 0;
}

int replaceFile(const fs::path& target, std::string_view bytes, mode_t mode) {
    fs::path temp;
    if (const int error = writeBeside(target, bytes, mode, temp); error != 0) return error;
    if (file_io::rename(temp, target) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return error;
    }
    // The rename itself lasts only once the folder is flushed; the file is complete either way.
    syncDirectory(target.parent_path());
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
    Descriptor folder(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) return errno;
    if (!proceed(Operation::Flush)) return errno;
    return ::syncfs(folder.get()) == 0 ? 0 : errno;
}

void inject(const Injection& failure) { counters().armed = failure; }

void reset() { counters() = Counters{}; }

std::size_t calls(Operation operation) {
    return counters().perOperation[static_cast<std::size_t>(operation)];
}

std::size_t totalCalls() { return counters().total; }

}  // namespace lindavex::store::file_io
