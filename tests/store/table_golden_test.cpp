// The exact bytes of a small level 7 table, laid out by hand from the published structure of
// the level 7 table file: 68-byte header, 48-byte field descriptors, terminator, records, EOF.
#include <gtest/gtest.h>

#include <ctime>

#include "store/dbase/table.h"
#include "store/files/platform.h"
#include "support/files.h"
#include "support/recreate_table.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

std::string descriptor(const std::string& name, char type, unsigned char length) {
    std::string d(48, '\0');
    d.replace(0, name.size(), name);
    d[32] = type;
    d[33] = static_cast<char>(length);
    return d;  // decimals 0, no index flag, no autoincrement
}

std::tm localToday() { return platform::localTime(std::time(nullptr)); }

TEST(TableGoldenTest, ASmallLevel7TableHasExactlyThePublishedLayout) {
    testing::ScratchDir dir;
    const std::tm before = localToday();
    recreateTable(dir.path(), "GOLD",
                  {{"COD", FieldType::Text, 3},
                   {"ESTAREA", FieldType::Logical},
                   {"NSES", FieldType::Integer},
                   {"HORAS", FieldType::Float}});
    {
        Table t = Table::open(dir.path(), "GOLD", Table::Mode::Exclusive);
        t.append();
        t.setText("COD", "AB");
        t.setLogical("ESTAREA", true);
        t.setInteger("NSES", 7);
        t.setFloat("HORAS", 2.5);
        t.post();
        t.append();
        t.setText("COD", "Mi\xE9rcoles");  // cut to "Mié", kept in Windows-1252
        t.setInteger("NSES", -1);
        t.setFloat("HORAS", -1.0);
        t.post();
        t.append();  // all unset
        t.post();
    }
    const std::string actual = testing::readBytes(dir / "GOLD.DBF");
    // The date of last update is the day of writing (the day may have turned meanwhile).
    std::tm today = localToday();
    if (actual.size() > 3 && static_cast<unsigned char>(actual[3]) == before.tm_mday)
        today = before;

    std::string expected;
    // Header: version 4, date of last update YY MM DD, 3 records, header 261 bytes
    // (68 + 4 * 48 + 1), records of 17 bytes (1 + 3 + 1 + 4 + 8).
    expected += '\x04';
    expected += static_cast<char>(today.tm_year);
    expected += static_cast<char>(today.tm_mon + 1);
    expected += static_cast<char>(today.tm_mday);
    expected += std::string("\x03\x00\x00\x00", 4);
    expected += std::string("\x05\x01", 2);
    expected += std::string("\x11\x00", 2);
    expected += std::string(16, '\0');  // reserved, transaction, encryption, multi-user
    expected += '\0';                   // no production index
    expected += '\x58';                 // language driver: Windows ANSI Western European
    expected += std::string(2, '\0');
    expected += std::string("DBWINWE0") + std::string(24, '\0');
    expected += std::string(4, '\0');
    ASSERT_EQ(expected.size(), 68u);
    expected += descriptor("COD", 'C', 3);
    expected += descriptor("ESTAREA", 'L', 1);
    expected += descriptor("NSES", 'I', 4);
    expected += descriptor("HORAS", 'O', 8);
    expected += '\x0D';
    ASSERT_EQ(expected.size(), 261u);
    // Records: deletion flag, then the fields. Longs and doubles are big-endian with the sign
    // bit inverted (values of zero and above) or all bits inverted (negative doubles).
    expected += std::string(" AB T\x80\x00\x00\x07\xC0\x04\x00\x00\x00\x00\x00\x00", 17);
    expected += std::string(" Mi\xE9 \x7F\xFF\xFF\xFF\x40\x0F\xFF\xFF\xFF\xFF\xFF\xFF", 17);
    expected += std::string("     \x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 17);
    expected += '\x1A';

    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(actual[i]), static_cast<unsigned char>(expected[i]))
            << "byte " << i;
}

TEST(TableGoldenTest, AnIndexedTableCarriesTheProductionIndexFlags) {
    testing::ScratchDir dir;
    recreateTable(dir.path(), "COUNTSES",
                  {{"DURACION", FieldType::Text, 10}, {"NSES", FieldType::Integer}},
                  {{"NSES", "NSES"}});
    const std::string bytes = testing::readBytes(dir / "COUNTSES.DBF");
    ASSERT_EQ(bytes.size(), 68u + 2 * 48 + 1 + 1);
    EXPECT_EQ(bytes[28], '\x01');            // table: production index present
    EXPECT_EQ(bytes[68 + 37], '\x00');       // DURACION: no tag
    EXPECT_EQ(bytes[68 + 48 + 37], '\x01');  // NSES: has a tag
    EXPECT_TRUE(std::filesystem::exists(dir / "COUNTSES.MDX"));
}

}  // namespace
}  // namespace lindavex::store
