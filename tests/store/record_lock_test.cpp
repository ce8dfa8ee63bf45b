// Windows programs under Wine lock table files with record locks (fcntl), where a table engine
// puts its lock bytes, and lockf takes the same kind: a table held so is in use, as a table held
// with flock is.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "store/dbase/table.h"
#include "store/error.h"
#include "support/error_text.h"
#include "support/process.h"
#include "support/recreate_table.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

// Another process holding a record lock on the file: "write" or "read" at an offset, or "lockf"
// (the whole file from 0), until released.
const testing::Role holdRecordLock("hold-record-lock", [](const std::vector<std::string>& args) {
    const int fd = ::open(args.at(0).c_str(), O_RDWR);
    if (fd < 0) return 1;
    struct flock lock {};
    lock.l_type = args.at(1) == "read" ? F_RDLCK : F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(std::stoll(args.at(2)));
    lock.l_len = 1;
    const int taken = args.at(1) == "lockf" ? ::lockf(fd, F_TLOCK, 0) : ::fcntl(fd, F_SETLK, &lock);
    if (taken != 0) return 1;
    testing::signalReadyAndWait(args.at(3));
    return 0;
});

TEST(RecordLockTest, ATableUnderAnotherProgramsRecordLockIsInUse) {
    struct Case {
        const char* kind;
        const char* offset;
        bool sharedOpenRefused;  // a read lock keeps out writers only
    };
    for (const Case& c : {Case{"write", "4026531838", true}, Case{"write", "0", true},
                          Case{"lockf", "0", true}, Case{"read", "4026531838", false}}) {
        SCOPED_TRACE(std::string(c.kind) + " at " + c.offset);
        testing::ScratchDir dir;
        recreateTable(dir.path(), "PROFT", {{"ABREV", FieldType::Text, 10}});
        const auto marker = dir / "held";
        testing::Process holder = testing::runRole(
            holdRecordLock, {(dir / "PROFT.DBF").string(), c.kind, c.offset, marker.string()});
        ASSERT_TRUE(testing::waitUntilReady(holder, marker));

        EXPECT_NE(testing::errorText([&] {
                      (void)Table::open(dir.path(), "PROFT", Table::Mode::Exclusive);
                  }).find("está en uso por otro programa"),
                  std::string::npos);
        const std::string shared = testing::errorText(
            [&] { (void)Table::open(dir.path(), "PROFT", Table::Mode::Shared); });
        EXPECT_EQ(shared == "(no error)", !c.sharedOpenRefused) << shared;

        std::filesystem::remove(marker);
        holder.wait();
        EXPECT_NO_THROW(Table::open(dir.path(), "PROFT", Table::Mode::Exclusive));
    }
}

}  // namespace
}  // namespace lindavex::store
