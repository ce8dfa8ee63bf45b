// The first action alone, without the window: its report is what the tables hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "store/dbase/table.h"
#include "store/work_tables.h"
#include "support/files.h"
#include "support/scratch_dir.h"
#include "toworkdb/conversion_run.h"

namespace lindavex::toworkdb {
namespace {
namespace fs = std::filesystem;
using lindavex::testing::writeBytes;

std::size_t records(const fs::path& dir, const char* table) {
    return store::Table::open(dir, table, store::Table::Mode::Shared).recordCount();
}

class ConversionRunTest : public ::testing::Test {
  protected:
    ConversionRunTest() { fs::create_directories(workDb); }

    testing::ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    fs::path example = fs::path(LINDAVEX_SOURCE_DIR) / "examples" / "centro.xml";
};

TEST_F(ConversionRunTest, TheReportCountsWhatEachTableHolds) {
    const ConversionReport direct = convert(example, workDb);
    std::vector<std::string> names;
    for (const TableCount& table : direct.tables) {
        names.push_back(table.name);
        EXPECT_EQ(table.records, records(workDb, table.name.c_str())) << table.name;
    }
    EXPECT_EQ(names, std::vector<std::string>(store::work_tables::writtenTables().begin(),
                                              store::work_tables::writtenTables().end()));
    EXPECT_EQ(direct.workingSet.size(), records(workDb, "DIASHORAST"));
    EXPECT_EQ(direct.L1, 55);
    EXPECT_EQ(direct.L2, 35);
    // Each renamed code is in its table under the code written.
    for (const RenamedCode& code : direct.renamedCodes) {
        EXPECT_NE(code.centreCode, code.writtenCode);
        auto table = store::Table::open(workDb, code.table, store::Table::Mode::Shared);
        EXPECT_TRUE(table.lookup(code.table == "ASIGNOMT" ? "COD" : "ABREV", code.writtenCode))
            << code.table << ' ' << code.writtenCode;
    }
}

TEST_F(ConversionRunTest, TheReportNamesTheCodesWrittenUnderAnotherCode) {
    const fs::path centre = scratch / "codigos.xml";
    writeBytes(centre,
               "<Centro><Aulas><Aula Codigo=\"A1\" Denominacion=\"a\"/>"
               "<Aula Codigo=\"A1\" Denominacion=\"b\"/></Aulas>"
               "<Profesores><Profesor Codigo=\"PROFESOR_LARGO\"/></Profesores></Centro>");
    const ConversionReport direct = convert(centre, workDb);
    ASSERT_EQ(direct.renamedCodes.size(), 2u);
    EXPECT_EQ(direct.renamedCodes[0].table, "PROFT");
    EXPECT_EQ(direct.renamedCodes[0].centreCode, "PROFESOR_LARGO");
    EXPECT_EQ(direct.renamedCodes[1].table, "AULAT");
    EXPECT_EQ(direct.renamedCodes[1].centreCode, "A1");
    EXPECT_NE(direct.renamedCodes[1].writtenCode, "A1");
}

}  // namespace
}  // namespace lindavex::toworkdb
