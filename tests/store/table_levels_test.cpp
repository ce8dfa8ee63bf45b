// Reading tables that other programs wrote: dBase levels III, IV/V and 7, every field type,
// and the solution table's day and period read as numbers and as text whatever their type.
#include <gtest/gtest.h>

#include "store/dbase/table.h"
#include "store/error.h"
#include "support/dbf_builder.h"
#include "support/error_text.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::DbfBuilder;
using testing::DbfField;
using testing::ScratchDir;

struct Level {
    const char* name;
    std::uint8_t version;
};

void PrintTo(const Level& level, std::ostream* out) { *out << level.name; }

class LevelsTest : public ::testing::TestWithParam<Level> {
  protected:
    Table build(DbfBuilder& b) {
        b.write(dir / "SOLUC.DBF");
        return Table::open(dir.path(), "SOLUC", Table::Mode::Exclusive);
    }
    ScratchDir dir;
};

TEST_P(LevelsTest, EveryFieldTypeReadsAsTextAndAsItsValue) {
    std::vector<DbfField> fields = {
        {"ASIG", 'C', 10}, {"DIA", 'N', 2}, {"HORA", 'F', 6, 2}, {"ACTIVO", 'L'}, {"FECHA", 'D'}};
    const bool level7 = (GetParam().version & 0x07) == 4;
    if (level7) {
        fields.push_back({"NSES", 'I'});
        fields.push_back({"PESO", 'O'});
        fields.push_back({"ID", '+'});
        fields.push_back({"CUANDO", '@'});
    }
    DbfBuilder b(GetParam().version, fields);
    std::vector<std::string> first = {"MAT", "3", "2.50", "T", "20261208"};
    std::vector<std::string> blank = {"", "", "", "", ""};
    if (level7) {
        // 1 January 2000 is day 730 120 counted from 31 December of year 0; 45 296 000 ms
        // is 12:34:56.
        first.insert(first.end(),
                     {"-12", "-0.25", "5", DbfBuilder::timestamp7(730120 * 86400000.0 + 45296000)});
        blank.insert(blank.end(), {"", "", "", ""});
    }
    b.record(first).record(blank);
    Table t = build(b);
    ASSERT_EQ(t.recordCount(), 2u);

    t.first();
    EXPECT_EQ(t.asText("ASIG"), "MAT");
    EXPECT_EQ(t.asText("DIA"), "3");
    EXPECT_EQ(t.asInteger("DIA"), 3);
    EXPECT_EQ(t.asText("HORA"), "2.5");
    EXPECT_EQ(t.asFloat("HORA"), 2.5);
    EXPECT_EQ(t.asLogical("ACTIVO"), true);
    EXPECT_EQ(t.asText("FECHA"), "20261208");
    if (level7) {
        EXPECT_EQ(t.asInteger("NSES"), -12);
        EXPECT_EQ(t.asText("NSES"), "-12");
        EXPECT_EQ(t.asFloat("PESO"), -0.25);
        EXPECT_EQ(t.asText("PESO"), "-0.25");
        EXPECT_EQ(t.asInteger("ID"), 5);
        EXPECT_EQ(t.asText("CUANDO"), "2000-01-01 12:34:56");
    }

    t.next();
    for (const DbfField& f : fields) {
        EXPECT_EQ(t.asText(f.name), "") << f.name;
        if (f.type != 'C' && f.type != 'D' && f.type != '@') {
            EXPECT_EQ(t.asFloat(f.name), std::nullopt) << f.name;
            EXPECT_EQ(t.asInteger(f.name), std::nullopt) << f.name;
        }
    }
    EXPECT_EQ(t.asLogical("ACTIVO"), std::nullopt);
}

TEST_P(LevelsTest, DeletedRecordsAreSkippedByWalkingAndLookup) {
    DbfBuilder b(GetParam().version, {{"ASIG", 'C', 4}});
    b.record({"A"}).record({"B"}, true).record({"B"}).record({"C"}, true);
    Table t = build(b);
    std::vector<std::string> seen;
    for (t.first(); !t.eof(); t.next()) seen.push_back(t.asText("ASIG"));
    EXPECT_EQ(seen, (std::vector<std::string>{"A", "B"}));
    ASSERT_TRUE(t.lookup("ASIG", "B"));
    EXPECT_EQ(t.position(), 2u);
    EXPECT_FALSE(t.lookup("ASIG", "C"));
}

TEST_P(LevelsTest, ChangesAreWrittenBackInTheTablesOwnLevel) {
    DbfBuilder b(GetParam().version, {{"ASIG", 'C', 4}, {"DIA", 'N', 5, 1}});
    b.record({"A", "1.0"});
    {
        Table t = build(b);
        t.append();
        t.setText("ASIG", "B");
        t.setFloat("DIA", 12.25);  // one decimal: 12.2 or 12.3
        t.post();
        t.append();
        EXPECT_THROW(t.setInteger("DIA", 1000), Error);  // 1000.0 does not fit in 5 characters
        t.setInteger("DIA", 7);
        t.post();
    }
    Table t = Table::open(dir.path(), "SOLUC", Table::Mode::Shared);
    ASSERT_EQ(t.recordCount(), 3u);
    t.first();
    t.next();
    EXPECT_EQ(t.asText("ASIG"), "B");
    EXPECT_NEAR(*t.asFloat("DIA"), 12.25, 0.051);
    t.next();
    EXPECT_EQ(t.asText("DIA"), "7");
}

INSTANTIATE_TEST_SUITE_P(AllLevels, LevelsTest,
                         ::testing::Values(Level{"III", DbfBuilder::kLevel3},
                                           Level{"IIIMemo", DbfBuilder::kLevel3Memo},
                                           Level{"IVMemo", DbfBuilder::kLevel4Memo},
                                           Level{"Seven", DbfBuilder::kLevel7},
                                           Level{"SevenMemo", DbfBuilder::kLevel7Memo}),
                         [](const auto& info) { return std::string(info.param.name); });

// The solution table: DIA and HORA as numbers and as text, whatever type the product chose.
struct SlotType {
    const char* name;
    std::uint8_t version;
    DbfField dia, hora;
    const char* diaValue;
    const char* horaValue;
};

void PrintTo(const SlotType& type, std::ostream* out) { *out << type.name; }

class SolucSlotTest : public ::testing::TestWithParam<SlotType> {};

TEST_P(SolucSlotTest, DayAndPeriodReadAsNumbersAndAsPlainDecimalText) {
    ScratchDir dir;
    const SlotType& p = GetParam();
    DbfBuilder b(p.version, {p.dia, p.hora});
    b.record({p.diaValue, p.horaValue});
    b.record({"0", "0"});
    b.write(dir / "SOLUC.DBF");
    Table t = Table::open(dir.path(), "SOLUC", Table::Mode::Exclusive);
    t.first();
    EXPECT_EQ(t.asInteger("DIA"), 3);
    EXPECT_EQ(t.asText("DIA"), "3");
    EXPECT_EQ(t.asFloat("HORA"), 2.0);
    EXPECT_EQ(t.asText("HORA"), "2");
    t.next();
    EXPECT_EQ(t.asInteger("DIA"), 0);
    EXPECT_EQ(t.asFloat("HORA"), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, SolucSlotTest,
    ::testing::Values(
        SlotType{"Text", DbfBuilder::kLevel3, {"DIA", 'C', 2}, {"HORA", 'C', 4}, "3", "2"},
        SlotType{"Numeric", DbfBuilder::kLevel3, {"DIA", 'N', 1}, {"HORA", 'N', 5, 2}, "3", "2.00"},
        SlotType{"Float",
                 DbfBuilder::kLevel4Memo,
                 {"DIA", 'F', 4, 1},
                 {"HORA", 'F', 8, 3},
                 "3.0",
                 "2.000"},
        SlotType{"Long", DbfBuilder::kLevel7, {"DIA", 'I'}, {"HORA", 'I'}, "3", "2"},
        SlotType{"Double", DbfBuilder::kLevel7, {"DIA", 'O'}, {"HORA", 'O'}, "3", "2"},
        SlotType{"Mixed", DbfBuilder::kLevel7, {"DIA", 'N', 2}, {"HORA", 'O'}, "3", "2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TableTimestampTest, ATimestampWrittenByTheDatabaseProductReadsAsItsDateAndTime) {
    // Bytes of a timestamp field holding 16 August 2000 17:21:41 in a level 7 table.
    ScratchDir dir;
    DbfBuilder b(DbfBuilder::kLevel7, {{"CUANDO", '@'}});
    b.rawRecord(std::string(" \x42\xCC\xB2\x0E\x03\x40\xDF\x00", 9));
    b.write(dir / "SOLUC.DBF");
    Table t = Table::open(dir.path(), "SOLUC", Table::Mode::Shared);
    EXPECT_EQ(t.asText("CUANDO"), "2000-08-16 17:21:41");
}

TEST(TableConversionTest, NumbersAskedOfTextUseTheSystemsConversionErrors) {
    ScratchDir dir;
    DbfBuilder b(DbfBuilder::kLevel3, {{"DIA", 'C', 4}, {"HORA", 'C', 4}, {"NDIA", 'N', 4}});
    b.record({"x1", "2,5", "x1"});
    b.write(dir / "SOLUC.DBF");
    Table t = Table::open(dir.path(), "SOLUC", Table::Mode::Shared);
    t.first();
    EXPECT_EQ(testing::errorText([&] { (void)t.asInteger("DIA"); }),
              "'x1' is not a valid integer value");
    EXPECT_EQ(t.asFloat("HORA"), 2.5);  // a decimal comma is accepted
    EXPECT_EQ(testing::errorText([&] { (void)t.asFloat("DIA"); }),
              "'x1' is not a valid floating point value");
    // Digits that are no number: the error of the type asked for.
    EXPECT_EQ(testing::errorText([&] { (void)t.asInteger("NDIA"); }),
              "'  x1' is not a valid integer value");
    EXPECT_EQ(testing::errorText([&] { (void)t.asFloat("NDIA"); }),
              "'  x1' is not a valid floating point value");
    EXPECT_EQ(t.storedText(t.column("NDIA")), "x1");
}

}  // namespace
}  // namespace lindavex::store
