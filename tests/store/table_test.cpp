// The work database table engine: creating, writing, reading back and looking up.
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "store/convert.h"
#include "store/dbase/dbf_format.h"
#include "store/error.h"
#include "store/files/platform.h"
#include "support/dbf_builder.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/recreate_table.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::errorText;
using testing::readBytes;
using testing::ScratchDir;

const std::vector<FieldDef> kAllTypes = {
    {"COD", FieldType::Text, 10},    {"ABREV_GESTION", FieldType::Text, 10},
    {"ESTAREA", FieldType::Logical}, {"MAXALUM", FieldType::Integer},
    {"HORAS", FieldType::Float},
};

// A fresh table "T" of every field type.
class AllTypesTable : public ::testing::Test {
  protected:
    AllTypesTable() { recreateTable(dir.path(), "T", kAllTypes); }
    Table open(Table::Mode mode = Table::Mode::Shared) {
        return Table::open(dir.path(), "T", mode);
    }
    ScratchDir dir;
};

TEST_F(AllTypesTable, ValuesOfEveryTypeSurviveCloseAndReopen) {
    {
        Table t = open();
        t.append();
        t.setText("COD", "MATEMATICAS");  // 11 characters: cut to 10
        t.setText("ABREV_GESTION", "Mi\xE9rcoles");
        t.setLogical("ESTAREA", true);
        t.setInteger("MAXALUM", -30);
        t.setFloat("HORAS", 2.75);
        t.post();
        t.append();  // nothing set: every field unset
        t.post();
        t.append();
        t.setLogical("ESTAREA", false);
        t.setInteger("MAXALUM", 2147483647);
        t.setFloat("HORAS", -0.5);
        t.post();
        t.close();
    }
    Table t = open(Table::Mode::Exclusive);
    ASSERT_EQ(t.recordCount(), 3u);
    t.first();
    EXPECT_EQ(t.asText("COD"), "MATEMATICA");
    EXPECT_EQ(t.asText("ABREV_GESTION"), "Mi\xE9rcoles");
    EXPECT_EQ(t.asLogical("ESTAREA"), true);
    EXPECT_EQ(t.asInteger("MAXALUM"), -30);
    EXPECT_EQ(t.asFloat("HORAS"), 2.75);
    EXPECT_EQ(t.asText("HORAS"), "2.75");
    EXPECT_EQ(t.asText("MAXALUM"), "-30");

    t.next();
    EXPECT_EQ(t.asText("COD"), "");
    EXPECT_EQ(t.asLogical("ESTAREA"), std::nullopt);
    EXPECT_EQ(t.asInteger("MAXALUM"), std::nullopt);
    EXPECT_EQ(t.asFloat("HORAS"), std::nullopt);
    EXPECT_EQ(t.asText("MAXALUM"), "");

    t.next();
    EXPECT_EQ(t.asLogical("ESTAREA"), false);
    EXPECT_EQ(t.asInteger("MAXALUM"), 2147483647);
    EXPECT_EQ(t.asFloat("HORAS"), -0.5);
    t.next();
    EXPECT_TRUE(t.eof());
}

TEST_F(AllTypesTable, ZeroAndNegativeZeroAreValuesNotNullButTheLowestLongIsRefused) {
    {
        Table t = open();
        t.append();
        t.setInteger("MAXALUM", 0);
        t.setFloat("HORAS", -0.0);
        // The lowest long is the field's null mark: refused rather than stored as null.
        EXPECT_THROW(t.setInteger("MAXALUM", INT32_MIN), Error);
        t.post();
    }
    Table t = open();
    EXPECT_EQ(t.asInteger("MAXALUM"), 0);
    EXPECT_EQ(t.asFloat("HORAS"), 0.0);
    EXPECT_EQ(t.asText("HORAS"), "0");
}

TEST_F(AllTypesTable, ValuesOfAnotherKindConvertToTheFieldsType) {
    Table t = open();
    t.append();
    t.setText("MAXALUM", " 25 ");
    t.setText("HORAS", "04,50");  // the decimal comma of centre files
    t.setText("ESTAREA", "T");
    t.setFloat("COD", 2.5);
    EXPECT_EQ(t.asInteger("MAXALUM"), 25);
    EXPECT_EQ(t.asFloat("HORAS"), 4.5);
    EXPECT_EQ(t.asLogical("ESTAREA"), true);
    EXPECT_EQ(t.asText("COD"), "2.5");
    EXPECT_EQ(t.asFloat("COD"), 2.5);
    t.setFloat("MAXALUM", 7.0);
    EXPECT_EQ(t.asInteger("MAXALUM"), 7);
    t.setText("MAXALUM", "");
    EXPECT_EQ(t.asInteger("MAXALUM"), std::nullopt);

    EXPECT_EQ(errorText([&] { t.setText("MAXALUM", "12a"); }),
              "'12a' is not a valid integer value");
    EXPECT_EQ(errorText([&] { t.setText("HORAS", "dos"); }),
              "'dos' is not a valid floating point value");
    EXPECT_THROW(t.setInteger("ESTAREA", 1), Error);
    EXPECT_THROW(t.setLogical("MAXALUM", true), Error);
}

// A field named once reads, looks up and fails exactly as the field named at each read, a
// field the table lacks included.
TEST_F(AllTypesTable, AColumnReadsWhatItsNameReads) {
    Table t = open();
    t.append();
    t.post();
    t.append();
    t.setText("COD", "MAT");
    t.setText("ABREV_GESTION", "12");
    t.setLogical("ESTAREA", true);
    t.setInteger("MAXALUM", -7);
    t.setFloat("HORAS", 2.5);
    t.post();
    const auto outcome = [](const auto& read) {
        std::string value;
        return errorText([&] { value = ::testing::PrintToString(read()); }) + value;
    };
    for (const char* name : {"COD", "abrev_gestion", "EsTarea", "MAXALUM", "HORAS", "NOPE"}) {
        const Table::Column column = t.column(name);
        for (t.first(); !t.eof(); t.next()) {
            EXPECT_EQ(outcome([&] { return t.asText(column); }),
                      outcome([&] { return t.asText(name); }));
            EXPECT_EQ(outcome([&] { return t.asInteger(column); }),
                      outcome([&] { return t.asInteger(name); }));
            EXPECT_EQ(outcome([&] { return t.asFloat(column); }),
                      outcome([&] { return t.asFloat(name); }));
        }
        for (const char* key : {"MAT", "12", "-7", "2.5", "True", ""}) {
            const auto found = [&](const auto& field) {
                return t.lookup(field, key) ? t.position() : std::size_t{99};
            };
            EXPECT_EQ(outcome([&] { return found(column); }), outcome([&] { return found(name); }))
                << name << " " << key;
        }
    }
}

// Written through a field named once, a record holds what writing by name gives it.
TEST_F(AllTypesTable, AColumnWritesWhatItsNameWrites) {
    Table t = open();
    const auto write = [&](const auto& field) {
        t.append();
        t.setText(field("COD"), "MATEMATICAS");
        t.setText(field("ABREV_GESTION"), "12");
        t.setLogical(field("ESTAREA"), true);
        t.setInteger(field("MAXALUM"), -7);
        t.setFloat(field("HORAS"), 2.5);
        t.post();
        t.append();
        t.setText(field("MAXALUM"), "25");
        t.setNull(field("HORAS"));
        t.post();
    };
    write([](const char* name) { return std::string_view(name); });
    write([&](const char* name) { return t.column(name); });
    t.close();
    Table again = open();
    std::vector<std::string> records;
    for (again.first(); !again.eof(); again.next()) {
        std::string record;
        for (const FieldDef& field : kAllTypes) {
            record += again.asText(field.name) + "|";
            std::string scratch;  // the view reads the same, whether of the record or made
            EXPECT_EQ(again.asTextView(again.column(field.name), scratch),
                      again.asText(field.name));
        }
        records.push_back(record);
    }
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], "MATEMATICA|12|True|-7|2.5|");
    EXPECT_EQ(records[0], records[2]);
    EXPECT_EQ(records[1], records[3]);
    EXPECT_EQ(errorText([&] { again.append(), again.setText(again.column("NOPE"), "x"); }),
              errorText([&] { again.append(), again.setText("NOPE", "x"); }));
}

// DIA and HORA read once for their number and their text give, and fail with, exactly what
// reading the number and then the text gives, in every storage a solution table may use.
TEST(TableTest, ANumberAndItsTextReadAtOnceAreWhatTheyReadApart) {
    ScratchDir dir;
    testing::DbfBuilder b(
        testing::DbfBuilder::kLevel7,
        {{"C", 'C', 6}, {"N", 'N', 6}, {"F", 'F', 8, 2}, {"I", 'I'}, {"O", 'O'}, {"L", 'L'}});
    const std::vector<std::string> values = {"3", " 12 ", "",    "0",   "-4", "2.5",
                                             "x", "1e3",  "007", "000", "+5", "99999"};
    for (const std::string& value : values)
        b.record({value, value, value,
                  value == "x" || value == "2.5" || value == "1e3" ? "" : value,
                  value == "x" ? "" : value, "T"});
    b.write(dir / "SOLUC.DBF");
    Table t = Table::open(dir.path(), "SOLUC", Table::Mode::Shared);
    const auto outcome = [](const auto& read) {
        std::string value;
        return errorText([&] { value = ::testing::PrintToString(read()); }) + value;
    };
    for (const char* name : {"C", "N", "F", "I", "O", "L"}) {
        const Table::Column column = t.column(name);
        for (t.first(); !t.eof(); t.next()) {
            SCOPED_TRACE(std::string(name) + " record " + std::to_string(t.position()));
            EXPECT_EQ(outcome([&] {
                          const Table::IntegerAndText read = t.asIntegerAndText(column);
                          return std::make_pair(read.value, read.text);
                      }),
                      outcome([&] {
                          const auto value = t.asInteger(name);  // first, as the rules read it
                          return std::make_pair(value, t.asText(name));
                      }));
            EXPECT_EQ(outcome([&] {
                          const Table::NumberAndText read = t.asFloatAndText(column);
                          return std::make_pair(read.value, read.text);
                      }),
                      outcome([&] {
                          const auto value = t.asFloat(name);
                          return std::make_pair(value, t.asText(name));
                      }));
            // Digits, read in place when they are plain, read as the full conversion reads them.
            const std::string stored = t.storedText(column);
            if ((std::string_view(name) == "N" || std::string_view(name) == "F") &&
                !stored.empty() && errorText([&] { (void)convert::toFloat(stored); }).empty()) {
                const double value = convert::toFloat(stored);
                const Table::NumberAndText read = t.asFloatAndText(column);
                EXPECT_EQ(read.value, value);
                EXPECT_EQ(read.text, convert::plainDecimal(value));
            }
        }
    }
}

TEST_F(AllTypesTable, WalkingVisitsRecordsInNaturalOrder) {
    Table t = open();
    t.first();
    EXPECT_TRUE(t.eof());
    for (int i = 0; i < 5; ++i) {
        t.append();
        t.setInteger("MAXALUM", i * 10);
        t.post();
    }
    std::vector<std::int32_t> seen;
    for (t.first(); !t.eof(); t.next()) seen.push_back(*t.asInteger("MAXALUM"));
    EXPECT_EQ(seen, (std::vector<std::int32_t>{0, 10, 20, 30, 40}));
}

// A text field reads without the blanks and NULs that end it, whatever the mix and wherever
// the text stops within the field, and keeps those inside the text.
TEST(TableTest, TextReadsWithoutTheBlanksAndNulsThatEndIt) {
    ScratchDir dir;
    constexpr std::size_t kWidth = 21;
    testing::DbfBuilder b(testing::DbfBuilder::kLevel7, {{"C", 'C', kWidth}});
    std::vector<std::string> expected;
    unsigned seed = 7;
    for (std::size_t kept = 0; kept <= kWidth; ++kept) {
        for (int variant = 0; variant < 4; ++variant) {
            std::string field;
            for (std::size_t i = 0; i < kWidth; ++i) {
                seed = seed * 1103515245U + 12345U;
                const char blank = (seed >> 16) % 2 == 0 ? ' ' : '\0';
                // Inside the text: letters, and now and then a blank or a byte just off one.
                const char inside = "AB \0!`\xA0\xE1"[(seed >> 20) % 8];
                field += i >= kept ? blank : i + 1 == kept ? 'Z' : inside;
            }
            b.rawRecord(" " + field);
            expected.push_back(field.substr(0, kept));
        }
    }
    b.write(dir / "T.DBF");
    Table t = Table::open(dir.path(), "T", Table::Mode::Shared);
    const Table::Column column = t.column("C");
    std::size_t i = 0;
    for (t.first(); !t.eof(); t.next(), ++i) {
        std::string scratch;
        ASSERT_LT(i, expected.size());
        EXPECT_EQ(t.asTextView(column, scratch), expected[i]) << "record " << i;
        EXPECT_EQ(t.asText("C"), expected[i]) << "record " << i;
    }
    EXPECT_EQ(i, expected.size());
}

TEST(TableTest, EditChangesTheCurrentRecordOnly) {
    ScratchDir dir;
    recreateTable(dir.path(), "COUNTSES",
                  {{"DURACION", FieldType::Text, 10}, {"NSES", FieldType::Integer}});
    {
        Table t = Table::open(dir.path(), "COUNTSES", Table::Mode::Shared);
        for (const char* d : {"55", "60"}) {
            t.append();
            t.setText("DURACION", d);
            t.setInteger("NSES", 0);
            t.post();
        }
        ASSERT_TRUE(t.lookup("DURACION", "60"));
        for (int i = 0; i < 3; ++i) {
            t.edit();
            t.setInteger("NSES", *t.asInteger("NSES") + 1);
            t.post();
        }
    }
    Table t = Table::open(dir.path(), "COUNTSES", Table::Mode::Shared);
    t.first();
    EXPECT_EQ(t.asInteger("NSES"), 0);
    t.next();
    EXPECT_EQ(t.asInteger("NSES"), 3);
}

TEST_F(AllTypesTable, MisuseIsAnErrorAndFieldNamesIgnoreCase) {
    Table t = open();
    EXPECT_THROW(t.setText("COD", "X"), Error);  // outside append or edit
    EXPECT_THROW(t.edit(), Error);               // empty table: no current record
    t.append();
    t.setText("abrev_gestion", "X");
    EXPECT_EQ(t.asText("ABREV_GESTION"), "X");
    EXPECT_TRUE(t.hasField("Cod"));
    EXPECT_FALSE(t.hasField("NOPE"));
    EXPECT_THROW(t.asText("NOPE"), Error);
}

TEST_F(AllTypesTable, RecreatingReplacesEveryRecordAndAStaleIndexFile) {
    {
        Table t = open();
        t.append();
        t.post();
    }
    std::ofstream(dir / "T.MDX") << "stale";
    recreateTable(dir.path(), "T", kAllTypes);
    EXPECT_FALSE(std::filesystem::exists(dir / "T.MDX"));
    EXPECT_EQ(open().recordCount(), 0u);
}

TEST(TableTest, CreationAndOpeningFailClearlyWithoutTheFolderOrFile) {
    ScratchDir dir;
    const std::string noFolder = errorText([&] { recreateTable(dir / "missing", "T", kAllTypes); });
    EXPECT_NE(noFolder.find("missing"), std::string::npos) << noFolder;
    const std::string noFile =
        errorText([&] { (void)Table::open(dir.path(), "SOLUC", Table::Mode::Exclusive); });
    EXPECT_NE(noFile.find("SOLUC.DBF"), std::string::npos) << noFile;
}

TEST_F(AllTypesTable, ATableFileNamedInOtherLetterCaseIsFound) {
    // Written afresh rather than renamed: Wine keeps the old spelling on a rename that only
    // changes letter case.
    const std::string bytes = readBytes(dir / "T.DBF");
    std::filesystem::remove(dir / "T.DBF");
    testing::writeBytes(dir / "t.dbf", bytes);
    EXPECT_EQ(open().path().filename(), "t.dbf");
}

TEST_F(AllTypesTable, ClosingAnUnchangedTableRewritesNothing) {
    platform::FileInfo before, after;
    ASSERT_EQ(platform::describe(dir / "T.DBF", before), 0);
    const auto writtenBefore = std::filesystem::last_write_time(dir / "T.DBF");
    {
        Table t = open(Table::Mode::Exclusive);
        for (t.first(); !t.eof(); t.next()) {
        }
        t.lookup("COD", "X");
        t.close();
    }
    ASSERT_EQ(platform::describe(dir / "T.DBF", after), 0);
    EXPECT_EQ(before.identity, after.identity);
    EXPECT_EQ(writtenBefore, std::filesystem::last_write_time(dir / "T.DBF"));
}

TEST_F(AllTypesTable, RecordCountAndFileSizeAgree) {
    {
        Table t = open();
        for (int i = 0; i < 7; ++i) {
            t.append();
            t.post();
        }
    }
    const std::string bytes = readBytes(dir / "T.DBF");
    const auto u = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
    const std::size_t count = u(4) | u(5) << 8 | u(6) << 16 | u(7) << 24;
    const std::size_t header = u(8) | u(9) << 8;
    const std::size_t record = u(10) | u(11) << 8;
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(bytes.size(), header + count * record + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
}

// Lookup: first record in natural order whose text equals the key exactly.
class LookupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        recreateTable(dir.path(), "GRUPOST",
                      {{"ABREV", FieldType::Text, 10}, {"TUTOR", FieldType::Text, 10}});
        table = Table::open(dir.path(), "GRUPOST", Table::Mode::Shared);
        for (auto [abrev, tutor] :
             {std::pair{"1ESOA", "ANA"}, {"1esoa", "LUIS"}, {"1ESOA", "EVA"}, {"2ESO", "PEP"}}) {
            table->append();
            table->setText("ABREV", abrev);
            table->setText("TUTOR", tutor);
            table->post();
        }
    }
    ScratchDir dir;
    std::optional<Table> table;
};

TEST_F(LookupTest, FindsTheFirstExactCaseSensitiveWholeMatch) {
    ASSERT_TRUE(table->lookup("ABREV", "1ESOA"));
    EXPECT_EQ(table->asText("TUTOR"), "ANA");
    ASSERT_TRUE(table->lookup("ABREV", "1esoa"));
    EXPECT_EQ(table->asText("TUTOR"), "LUIS");
    EXPECT_FALSE(table->lookup("ABREV", "1ESO"));   // no partial match
    EXPECT_FALSE(table->lookup("ABREV", "2ESO "));  // whole value
    EXPECT_FALSE(table->lookup("ABREV", "1Esoa"));  // case matters
    EXPECT_FALSE(table->lookup("ABREV", ""));
    EXPECT_FALSE(table->lookup("TUTOR", "NADIE"));
}

TEST_F(LookupTest, FollowsAppendsAndEdits) {
    ASSERT_TRUE(table->lookup("ABREV", "2ESO"));
    table->append();
    table->setText("ABREV", "3ESO");
    table->post();
    ASSERT_TRUE(table->lookup("ABREV", "3ESO"));
    EXPECT_EQ(table->position(), 4u);

    // Moving the first 1ESOA away makes the next one the first.
    ASSERT_TRUE(table->lookup("ABREV", "1ESOA"));
    table->edit();
    table->setText("ABREV", "0ESO");
    table->post();
    ASSERT_TRUE(table->lookup("ABREV", "1ESOA"));
    EXPECT_EQ(table->asText("TUTOR"), "EVA");
    ASSERT_TRUE(table->lookup("ABREV", "0ESO"));
    EXPECT_EQ(table->asText("TUTOR"), "ANA");

    // And an edit that brings a value back ahead of later ones.
    table->edit();
    table->setText("ABREV", "1ESOA");
    table->post();
    ASSERT_TRUE(table->lookup("ABREV", "1ESOA"));
    EXPECT_EQ(table->asText("TUTOR"), "ANA");
    EXPECT_FALSE(table->lookup("ABREV", "0ESO"));

    // The last answer is kept by its own key, not by the caller's text, found or not.
    for (std::string key : {"0ESO", "1ESOA"}) {
        const bool found = table->lookup("ABREV", key);
        key = "2ESO";
        EXPECT_TRUE(table->lookup("ABREV", key)) << found;
        EXPECT_EQ(table->asText("ABREV"), "2ESO");
    }
}

TEST_F(LookupTest, LooksUpNumbersByTheirPlainDecimalText) {
    // A separate table with numbers: lookup compares the field's text.
    recreateTable(dir.path(), "N", {{"NSES", FieldType::Integer}, {"H", FieldType::Float}});
    Table t = Table::open(dir.path(), "N", Table::Mode::Shared);
    t.append();
    t.setInteger("NSES", 3);
    t.setFloat("H", 2.5);
    t.post();
    EXPECT_TRUE(t.lookup("NSES", "3"));
    EXPECT_FALSE(t.lookup("NSES", "3.0"));
    EXPECT_TRUE(t.lookup("H", "2.5"));
}

TEST(TableCreate, GivesTheNewEmptyTableOpenAndReplacesAnOldOne) {
    ScratchDir dir;
    {
        Table old = Table::create(dir.path(), "T", kAllTypes);
        old.append();
        old.setText("COD", "OLD");
        old.post();
    }
    Table t = Table::create(dir.path(), "T", {{"NSES", FieldType::Integer}}, {{"NSES", "NSES"}});
    EXPECT_TRUE(t.isOpen());
    // Nothing is written before it is closed: the old table is still there.
    EXPECT_EQ(Table::open(dir.path(), "T", Table::Mode::Shared).asText("COD"), "OLD");
    EXPECT_EQ(t.recordCount(), 0u);
    t.append();
    t.setInteger("NSES", 7);
    t.close();
    Table again = Table::open(dir.path(), "T", Table::Mode::Shared);
    ASSERT_EQ(again.fields().size(), 1u);
    EXPECT_EQ(again.asInteger("NSES"), 7);
    EXPECT_TRUE(std::filesystem::exists(mdxPath(dir.path(), "T")));
    again.close();
    Table::create(dir.path(), "T", kAllTypes).close();  // no index: the old one must go
    EXPECT_FALSE(std::filesystem::exists(mdxPath(dir.path(), "T")));
}

// Every type letter a table may carry, with the storage, width and null byte it is read by.
TEST(DbfStorage, EachTypeLetterHasOneStorage) {
    using dbf::Storage;
    const struct {
        char letter;
        Storage storage;
        std::size_t fixedLength;
        char blank;
    } cases[] = {
        {'C', Storage::Character, 0, ' '},   {'D', Storage::Date, 8, ' '},
        {'N', Storage::Digits, 0, ' '},      {'F', Storage::Digits, 0, ' '},
        {'I', Storage::BinaryInteger, 4, 0}, {'+', Storage::BinaryInteger, 4, 0},
        {'O', Storage::BinaryDouble, 8, 0},  {'@', Storage::Timestamp, 8, 0},
        {'L', Storage::Logical, 1, ' '},     {'M', Storage::Memo, 0, ' '},
        {'B', Storage::Memo, 0, ' '},        {'G', Storage::Memo, 0, ' '},
    };
    for (const auto& c : cases) {
        const auto info = dbf::storageOf(c.letter);
        ASSERT_TRUE(info) << c.letter;
        EXPECT_EQ(info->storage, c.storage) << c.letter;
        EXPECT_EQ(info->fixedLength, c.fixedLength) << c.letter;
        EXPECT_EQ(info->blank, c.blank) << c.letter;
    }
    for (char unknown : {'\0', 'X', 'c', '0'}) EXPECT_FALSE(dbf::storageOf(unknown)) << unknown;
}

}  // namespace
}  // namespace lindavex::store
