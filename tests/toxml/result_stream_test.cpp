// The result file as streamed against the same result made by libxml2 as nodes of the loaded
// file's tree and saved whole: the same bytes over a corpus of centre files (synthetic schools in
// each declared encoding, and files with what lies outside the root, references, entities and
// namespaces) and solution tables drawn from the work tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "store/codepage.h"
#include "store/dbase/table.h"
#include "store/work_tables.h"
#include "store/xml/centre_document.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/libxml_reference.h"
#include "support/recreate_table.h"
#include "support/scratch_dir.h"
#include "tools/centre_generator.h"
#include "toworkdb/conversion_run.h"
#include "toxml/result_export.h"
#include "toxml/solution_table.h"

namespace lindavex::testing {
namespace {

namespace fs = std::filesystem;
using store::Table;

toxml::LocalDateTime fixedTime() { return {2026, 3, 7, 9, 5, 1}; }

// Draws from lists with the standard seeded engine: the same rows for the same seed.
struct Random {
    explicit Random(std::uint64_t seed) : engine(seed) {}
    std::size_t below(std::size_t n) { return engine() % n; }
    template <class List>
    const auto& pick(const List& list) {
        return list[below(list.size())];
    }
    std::mt19937_64 engine;
};

std::vector<std::string> column(const fs::path& workDb, std::string_view table,
                                std::string_view field) {
    Table t = Table::open(workDb, table, Table::Mode::Shared);
    std::vector<std::string> values;
    for (t.first(); !t.eof(); t.next()) values.push_back(t.asText(field));
    return values;
}

// Records drawn from the codes of the work tables, with task rows, unknown codes and unplaced
// rows mixed in.
std::vector<Solution> solutionFrom(const fs::path& workDb, std::uint64_t seed, int rows) {
    const auto groups = column(workDb, "GRUPOST", "ABREV");
    const auto subjects = column(workDb, "ASIGNOMT", "COD");
    const auto teachers = column(workDb, "PROFT", "ABREV");
    const auto rooms = column(workDb, "AULAT", "ABREV");
    const auto days = column(workDb, "DIASHORAST", "DIA");
    const auto periods = column(workDb, "DIASHORAST", "HORA");
    Random random(seed);
    std::vector<Solution> solution;
    for (int i = 0; i < rows; ++i) {
        const std::size_t slot = random.below(days.size());
        Solution row{random.pick(subjects), "CCM",
                     std::stoi(days[slot]), std::stod(periods[slot]),
                     random.pick(groups),   random.pick(teachers),
                     random.pick(rooms)};
        switch (random.below(12)) {
            case 0:
            case 1:
                row.tarea = row.asig;  // a task
                break;
            case 2:
                row.asig = "NOPE";
                break;
            case 3:
                row.codGrupo = "NOPE";
                break;
            case 4:
                row.prof = "NOPE";
                row.aula = "NOPE";
                break;
            case 5:
                row.dia = random.below(2) == 0 ? 0 : 9;
                break;
            default:
                break;
        }
        solution.push_back(row);
    }
    return solution;
}

// Where two results part, with what each has there; empty when they are the same.
std::string difference(const std::string& streamed, const std::string& saved) {
    if (streamed == saved) return {};
    const auto at = static_cast<std::size_t>(
        std::mismatch(streamed.begin(), streamed.end(), saved.begin(), saved.end()).first -
        streamed.begin());
    const std::size_t from = at < 40 ? 0 : at - 40;
    return "sizes " + std::to_string(streamed.size()) + " and " + std::to_string(saved.size()) +
           ", first difference at byte " + std::to_string(at) +
           "\n streamed: " + streamed.substr(from, 100) + "\n saved:    " + saved.substr(from, 100);
}

class StreamedResult : public ::testing::Test {
  protected:
    // The streamed result against the loaded file saved whole with the same root: the same
    // bytes, and the result read back holds the activities counted.
    void expectSameAsSaved(const std::string& centreBytes, const std::string& label) {
        SCOPED_TRACE(label);
        writeBytes(centre, centreBytes);
        const fs::path result = toxml::resultFileName(centre);
        const auto streamed = toxml::exportResult(centre, workDb, fixedTime);
        EXPECT_EQ(difference(readBytes(result), savedWithRootOf(centre, result)), "") << label;
        store::CentreDocument written;
        (void)written.load(result);
        EXPECT_EQ(written.selectNodes("/Centro/horario/actividad").size(), streamed.activities)
            << label;
        EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()),
                  3)
            << label << ": the work folder, the centre file and the result only";
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    fs::path centre = scratch / "centro.xml";
};

// The synthetic school as generated (ISO-8859-1), and the same text declared and encoded as
// UTF-8 and as windows-1252, with comments and processing instructions around the root.
TEST_F(StreamedResult, SyntheticSchoolsInEachEncoding) {
    for (const int scale : {1, 3}) {
        std::ostringstream generated;
        tools::writeSyntheticCentre(generated, scale);
        const std::string latin1 = generated.str();
        const std::string declaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
        ASSERT_EQ(latin1.rfind(declaration, 0), 0u);
        const std::string body = latin1.substr(declaration.size());
        fs::create_directories(workDb);
        writeBytes(centre, latin1);
        toworkdb::convert(centre, workDb);
        writeSolutionTable(workDb, solutionFrom(workDb, 77 + scale, 60 * 39 * scale));

        const std::string around = "<!-- exportado -->\n<?pincel v=\"2\"?>\n";
        for (const auto& [label, bytes] : std::vector<std::pair<std::string, std::string>>{
                 {"ISO-8859-1", latin1},
                 {"UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + around +
                               codepage::toUtf8(body) + "<!-- fin -->\n"},
                 {"windows-1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n" + around +
                                      body + "<?fin?>"}})
            expectSameAsSaved(bytes, label + " scale " + std::to_string(scale));
    }
}

// Work tables whose texts need escaping or are missing from some encodings, and centre files
// with everything the loaded file may carry outside and inside its root.
TEST_F(StreamedResult, TrickyTextsAndFiles) {
    using namespace store::work_tables;
    fs::create_directories(workDb);
    const auto fill = [&](std::string_view table, const std::vector<store::FieldDef>& fields,
                          const std::vector<std::vector<std::string>>& rows) {
        store::recreateTable(workDb, table, fields);
        Table t = Table::open(workDb, table, Table::Mode::Shared);
        for (const auto& row : rows) {
            t.append();
            for (std::size_t i = 0; i < row.size(); ++i)
                if (!row[i].empty()) t.setText(fields[i].name, row[i]);
            t.post();
        }
        t.close();
    };
    // Code page texts: \x80 is the euro sign, \xD1 N with tilde, \x81 a byte the code page
    // leaves undefined.
    fill("GRUPOST", grupost(), {{"1A"}, {"G&<>\"'"}, {"\xD1\x80\x81"}});
    fill("PROFT", proft(), {{"PG"}, {"tab\there"}, {"\xC1ngel"}});
    fill("AULAT", aulat(), {{"A1", "", "", "", "AULA-101"}, {"LAB", "", "", "", "l&b <\x80>"}});
    fill("ASIGNOMT", asignomt(),
         {{"MAT", "", "", "", "", "MATEM\xC1TICA"}, {"LEN", "", "", "", "", "\"Lengua\""}});
    fill("DIASHORAST", diashorast(),
         {{"11", "", "1", "", "1", "", "08:00", "08:55"},
          {"32", "", "3", "", "2", "", "08:55", "09:50"}});
    store::recreateTable(workDb, "ASIGT", asigt());
    writeSolutionTable(workDb, solutionFrom(workDb, 5, 200));

    const std::string attributes =
        "Codigo=' 38000001 ' CursoEscolar='2026-2027' Version='3.1' Extra='x'";
    const std::string inside =
        "<Materias><Materia Codigo='MAT'/></Materias><horario><actividad tipo='OLD'/></horario>";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"UTF-8 around the root",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- antes -->\n<?pi a=\"1\"?>\n<Centro " +
             attributes +
             " Nombre='Ca\xC3\xB1"
             "adas \xE2\x82\xAC'>" +
             inside + "</Centro>\n<!-- después -->\n<?fin?>\n"},
        {"ISO-8859-1 lacking the euro",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<Centro " + attributes +
             " Nombre='&#8364; Ca\xF1"
             "adas &amp; &lt;x&gt; &quot;q&quot; a&#9;b&#10;c'>" +
             inside + "</Centro>\r\n"},
        {"windows-1252", "<?xml version='1.0' encoding='windows-1252' standalone='yes'?><Centro " +
                             attributes + " Nombre='\x80\x81\xD1'>" + inside + "</Centro>"},
        {"CP1252 alias",
         "<?xml version=\"1.0\" encoding=\"CP1252\"?><Centro " + attributes + " Nombre='x'/>"},
        {"no declaration", "<Centro " + attributes + " Nombre='\xC3\x91'>" + inside + "</Centro>"},
        {"standalone no",
         "<?xml version=\"1.0\" standalone=\"no\"?><Centro " + attributes + " Nombre='n'/>"},
        {"internal subset and entities",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE Centro [\n<!ENTITY n \"Norte &amp; Sur\">\n"
         "<!ATTLIST Centro Extra CDATA #IMPLIED>\n]>\n<Centro " +
             attributes + " Nombre='&n; &#xD1;'>" + inside + "</Centro>\n"},
        {"namespaces", "<?xml version=\"1.0\"?><Centro xmlns='urn:pincel' xmlns:p='urn:p' " +
                           attributes + " Nombre='n' p:otro='1'><p:Materias/>" + inside +
                           "</Centro>"},
    };
    for (const auto& [label, bytes] : files) expectSameAsSaved(bytes, label);

    // UTF-16 with its byte order mark.
    std::string utf16 = "\xFF\xFE";
    for (const char c : "<?xml version=\"1.0\" encoding=\"UTF-16\"?><Centro " + attributes +
                            " Nombre='n'>" + inside + "</Centro>") {
        utf16 += c;
        utf16 += '\0';
    }
    expectSameAsSaved(utf16, "UTF-16");
}

// A text XML cannot carry stops the run with its message, and the earlier result stays.
TEST_F(StreamedResult, UnwritableTextStopsTheRunAndKeepsTheEarlierResult) {
    using namespace store::work_tables;
    fs::create_directories(workDb);
    for (const auto& [name, fields] : {std::pair{"GRUPOST", grupost()},
                                       {"AULAT", aulat()},
                                       {"ASIGNOMT", asignomt()},
                                       {"ASIGT", asigt()}})
        store::recreateTable(workDb, name, fields);
    store::recreateTable(workDb, "PROFT", proft());
    {
        Table t = Table::open(workDb, "PROFT", Table::Mode::Shared);
        t.append();
        t.setText("ABREV", "P\x01");
        t.post();
        Table n = Table::open(workDb, "ASIGNOMT", Table::Mode::Shared);
        n.append();
        n.setText("COD", "GUA");
        n.post();
    }
    store::recreateTable(workDb, "DIASHORAST", diashorast());
    {
        Table t = Table::open(workDb, "DIASHORAST", Table::Mode::Shared);
        t.append();
        t.setText("DIHO", "11");
        t.post();
    }
    writeSolutionTable(workDb, {{"GUA", "GUA", 1, 1, "G", "P\x01", "A"}});
    writeBytes(centre, "<Centro Codigo='1' Nombre='n' CursoEscolar='c' Version='v'/>");
    const fs::path result = toxml::resultFileName(centre);
    writeBytes(result, "earlier");
    const std::string error = errorText([&] { toxml::exportResult(centre, workDb, fixedTime); });
    EXPECT_EQ(readBytes(result), "earlier");
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 3);
    EXPECT_NE(error.find("no admite caracteres de control"), std::string::npos) << error;
}

}  // namespace
}  // namespace lindavex::testing
