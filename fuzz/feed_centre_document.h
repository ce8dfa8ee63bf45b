#pragma once
// Any bytes as a centre file, then both actions over it: the first action's seven steps into
// a scratch work folder and the same steps checking the file, and the second action's header
// reading, root replacement, row writing and save over fixed small tables. Only lindavex::Error may
// come out, and a run that fails must not leave a result file behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "store/dbase/table.h"
#include "store/error.h"
#include "tests/toxml/solution_table.h"
#include "toworkdb/conversion_run.h"
#include "toxml/result_export.h"

namespace lindavex::fuzz::detail {

namespace fs = std::filesystem;

// The second action's work folder: the first action's tables of a small centre, and a
// solution whose rows hit every branch of the row reading.
fs::path lookupTables(const fs::path& root) {
    const fs::path seed = root / "seed.xml";
    const std::string centre =
        "<Centro Codigo=\"1\" Nombre=\"N\" CursoEscolar=\"2026\" Version=\"1\">"
        "<Materias><Materia Codigo=\"MAT\" Denominacion=\"M\"/></Materias>"
        "<TiposActividad><TipoActividad Codigo=\"GUA\" Denominacion=\"G\"/></TiposActividad>"
        "<Profesores><Profesor Codigo=\"P1\" Nombre=\"A\" Apellido1=\"B\" Apellido2=\"C\" "
        "CodigoDep=\"D\"/></Profesores>"
        "<Aulas><Aula Codigo=\"A1\" Denominacion=\"Aula\"/></Aulas>"
        "<Grupos><Grupo Codigo=\"G1\" Denominacion=\"1A\" CodigoEnsenanza=\"E\" Turno=\"M\" "
        "Curso=\"1\" Letra=\"A\" CodigoTutor=\"P1\"><MateriasGrupo>"
        "<MateriaGrupo Codigo=\"MAT\" Horas=\"4\"/></MateriasGrupo></Grupo></Grupos>"
        "<Sesiones><Sesion Dia=\"L\" HoraInicio=\"08:00\" HoraFin=\"08:55\"/>"
        "<Sesion Dia=\"M\" HoraInicio=\"09:00\" HoraFin=\"09:55\"/></Sesiones></Centro>";
    lindavex::fuzz::writeFile(seed, reinterpret_cast<const std::uint8_t*>(centre.data()),
                              centre.size());
    fs::path workDb = root / "lookup";
    fs::create_directories(workDb);
    lindavex::toworkdb::convert(seed, workDb);

    lindavex::testing::writeSolutionTable(workDb, {{"MAT", "", 1, 1, "G1", "P1", "A1"},
                                                   {"GUA", "GUA", 2, 1, "G1", "P1", "A1"},
                                                   {"MAT", "", 0, 1, "G1", "P1", "A1"},
                                                   {"MAT", "", 1, 0, "G1", "P1", "A1"},
                                                   {"XX", "", 1, 1, "G1", "P1", "A1"},
                                                   {"MAT", "", 1, 1, "ZZ", "P1", "A1"}});
    return workDb;
}

struct Folders {
    lindavex::fuzz::FolderRemover root{lindavex::fuzz::scratchFolder("centre")};
    fs::path conversionDb = root.dir / "work";
    fs::path lookupDb = lookupTables(root.dir);
    fs::path centre = root.dir / "centro.xml";
    fs::path result = lindavex::toxml::resultFileName(centre);
    Folders() { fs::create_directories(conversionDb); }
};

}  // namespace lindavex::fuzz::detail

namespace lindavex::fuzz {

// One input through the code under test; aborts on a broken promise.
inline void feedCentreDocument(const std::uint8_t* data, std::size_t size) {
    using namespace detail;  // NOLINT(google-build-using-namespace)
    static const Folders folders;
    lindavex::fuzz::writeFile(folders.centre, data, size);

    std::optional<lindavex::toworkdb::ConversionReport> converted;
    try {
        converted = lindavex::toworkdb::convert(folders.centre, folders.conversionDb);
    } catch (const lindavex::Error&) {  // NOLINT(bugprone-empty-catch): a clean refusal
    }
    // The check finds what the conversion did: the same findings when it ended, an error that
    // stops it when it stopped on one. (An error it cannot go past, it raises as the conversion
    // does.)
    std::optional<std::vector<lindavex::toworkdb::Finding>> findings;
    try {
        findings = lindavex::toworkdb::check(folders.centre).findings;
    } catch (const lindavex::Error&) {  // NOLINT(bugprone-empty-catch): compared below
    }
    if (converted ? !findings || converted->findings != *findings
                  : findings && !lindavex::toworkdb::stopsTheRun(*findings))
        std::abort();

    std::error_code ec;
    fs::remove(folders.result, ec);
    bool finished = false;
    try {
        lindavex::toxml::exportResult(folders.centre, folders.lookupDb);
        finished = true;
    } catch (const lindavex::Error&) {  // NOLINT(bugprone-empty-catch): a clean refusal
    }
    if (finished != fs::exists(folders.result, ec)) std::abort();
}

}  // namespace lindavex::fuzz
