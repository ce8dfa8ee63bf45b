// Damaged and inconsistent table files give a clear error naming the file, never a crash or
// a read past the data.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "store/dbase/table.h"
#include "store/error.h"
#include "support/dbf_builder.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::DbfBuilder;
using testing::errorText;
using testing::readBytes;
using testing::ScratchDir;
using testing::writeBytes;

DbfBuilder sample(std::uint8_t version = DbfBuilder::kLevel7) {
    DbfBuilder b(version, {{"ASIG", 'C', 6}, {"DIA", 'N', 2}});
    b.record({"MAT", "1"}).record({"LEN", "2"});
    return b;
}

// The error text when opening the table, or "" when it opened.
std::string openError(const std::filesystem::path& dir) {
    try {
        Table t = Table::open(dir, "SOLUC", Table::Mode::Shared);
        for (t.first(); !t.eof(); t.next()) t.asText("ASIG");
        return "";
    } catch (const Error& e) {
        return e.what();
    }
}

TEST(TableCorruptTest, InconsistentHeadersAreRefusedNamingTheFile) {
    ScratchDir dir;
    struct Case {
        const char* what;
        std::function<void(DbfBuilder&)> damage;
    };
    const std::vector<Case> cases = {
        {"header length past the end", [](DbfBuilder& b) { b.headerLength = 5000; }},
        {"header length inside the descriptors", [](DbfBuilder& b) { b.headerLength = 100; }},
        {"record length too long", [](DbfBuilder& b) { b.recordLength = 10; }},
        {"record length too short", [](DbfBuilder& b) { b.recordLength = 8; }},
        {"record count past the end", [](DbfBuilder& b) { b.recordCount = 3; }},
        {"huge record count", [](DbfBuilder& b) { b.recordCount = 0xFFFFFFFF; }},
        {"missing terminator", [](DbfBuilder& b) { b.terminator = false; }},
    };
    for (const Case& c : cases) {
        DbfBuilder b = sample();
        c.damage(b);
        b.write(dir / "SOLUC.DBF");
        const std::string error = openError(dir.path());
        EXPECT_NE(error.find("SOLUC.DBF"), std::string::npos) << c.what << ": " << error;
    }
}

TEST(TableCorruptTest, UnknownFieldTypesBadWidthsAndNoFieldsAreRefused) {
    ScratchDir dir;
    for (const auto& fields : std::vector<std::vector<testing::DbfField>>{
             {{"ASIG", 'X', 6}},                 // unknown type
             {{"ASIG", 'C', 6}, {"N", 'I', 2}},  // a long must be 4 bytes
             {{"ASIG", 'C', 0}},                 // no width
             {}}) {                              // no fields at all
        for (auto version : {DbfBuilder::kLevel3, DbfBuilder::kLevel7}) {
            DbfBuilder(version, fields).write(dir / "SOLUC.DBF");
            const std::string error = openError(dir.path());
            EXPECT_NE(error.find("SOLUC.DBF"), std::string::npos) << error;
        }
    }
    writeBytes(dir / "SOLUC.DBF", std::string("\x30", 1) + std::string(100, '\0'));
    EXPECT_NE(openError(dir.path()).find("SOLUC.DBF"), std::string::npos);  // unknown version
}

TEST(TableCorruptTest, AMissingEndOfFileMarkIsTolerated) {
    ScratchDir dir;
    DbfBuilder b = sample();
    b.endOfFile = false;
    b.write(dir / "SOLUC.DBF");
    EXPECT_EQ(openError(dir.path()), "");
}

TEST(TableCorruptTest, EveryTruncationOfAValidFileOpensOrFailsCleanly) {
    ScratchDir dir;
    for (auto version : {DbfBuilder::kLevel3, DbfBuilder::kLevel7}) {
        const std::string whole = sample(version).bytes();
        for (std::size_t size = 0; size < whole.size(); ++size) {
            writeBytes(dir / "SOLUC.DBF", whole.substr(0, size));
            const std::string error = openError(dir.path());
            // Only the last record or the end mark may be missing and still open.
            if (error.empty()) {
                EXPECT_GE(size, whole.size() - 1) << "opened a table cut at " << size;
            } else {
                EXPECT_NE(error.find("SOLUC.DBF"), std::string::npos) << error;
            }
        }
    }
}

TEST(TableCorruptTest, RandomDamageNeverCrashes) {
    ScratchDir dir;
    std::mt19937 random(20261208);
    const std::string whole = sample().bytes();
    for (int round = 0; round < 300; ++round) {
        std::string bytes = whole;
        for (int flips = 0; flips < 3; ++flips)
            bytes[random() % bytes.size()] = static_cast<char>(random() & 0xFF);
        writeBytes(dir / "SOLUC.DBF", bytes);
        try {
            Table t = Table::open(dir.path(), "SOLUC", Table::Mode::Shared);
            for (t.first(); !t.eof(); t.next())
                for (const FieldDef& f : t.fields()) {
                    try {
                        t.asText(f.name);
                        t.asFloat(f.name);
                        t.lookup(f.name, "MAT");
                    } catch (const Error&) {  // a damaged value may not convert
                    }
                }
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("SOLUC.DBF"), std::string::npos) << e.what();
        }
    }
}

// Holding a table without reading its records refuses what opening it refuses, in the same
// words: every cut of a valid file, a table another opener holds, a missing table.
TEST(TableCorruptTest, AHeldTableIsRefusedExactlyAsAnOpenedOne) {
    ScratchDir dir;
    const auto expectSameRefusal = [&](const std::string& what) {
        const std::string opened =
            errorText([&] { (void)Table::open(dir.path(), "SOLUC", Table::Mode::Exclusive); });
        EXPECT_EQ(errorText([&] { (void)HeldTable::open(dir.path(), "SOLUC"); }), opened) << what;
    };
    for (auto version : {DbfBuilder::kLevel3, DbfBuilder::kLevel7}) {
        const std::string whole = sample(version).bytes();
        for (std::size_t size = 0; size <= whole.size(); ++size) {
            writeBytes(dir / "SOLUC.DBF", whole.substr(0, size));
            expectSameRefusal("cut at " + std::to_string(size));
        }
    }
    {
        const HeldTable held = HeldTable::open(dir.path(), "SOLUC");
        EXPECT_NE(errorText([&] { (void)Table::open(dir.path(), "SOLUC", Table::Mode::Shared); }),
                  "(no error)");
        expectSameRefusal("held");
    }
    std::filesystem::remove(dir / "SOLUC.DBF");
    expectSameRefusal("missing");
}

TEST(TableCorruptTest, ARefusedTableIsLeftAsItWas) {
    ScratchDir dir;
    DbfBuilder b = sample();
    b.recordCount = 9;
    b.write(dir / "SOLUC.DBF");
    const std::string before = b.bytes();
    EXPECT_THROW(Table::open(dir.path(), "SOLUC", Table::Mode::Exclusive), Error);
    EXPECT_EQ(readBytes(dir / "SOLUC.DBF"), before);
}

}  // namespace
}  // namespace lindavex::store
