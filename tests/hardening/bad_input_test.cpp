// Bad input, one named case each: a damaged or hostile centre file, SOLUC table, work folder or
// settings file. Each case says what the run must end with (the clear message, or success
// where success is right) and every case checks that nothing was lost: on a failure the work
// database, the chosen centre file, an earlier result file and the settings file are byte for
// byte what they were, and no success is reported.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hardening_support.h"
#include "shell/controller.h"
#include "shell/settings_file.h"
#include "store/dbase/table_files.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"
#include "support/dbf_builder.h"
#include "support/process.h"
#include "support/recording_ui.h"
#include "support/scratch_dir.h"
#include "toworkdb/conversion_run.h"
#include "toxml/result_export.h"

namespace lindavex::testing {
namespace {

namespace io = store::file_io;

enum class Action { Exportar, Importar, Settings };

// Where a case runs: a work database filled by a clean first action over the example centre
// plus a solution, the chosen centre file, an earlier result beside it and the settings file.
struct Scene {
    fs::path root;
    fs::path workDb = root / "WTEMP";
    fs::path folder = root / "datos";
    fs::path centre = folder / "centro.xml";
    fs::path result = toxml::resultFileName(centre);
    fs::path ini = root / "Morvalen.ini";

    void centreText(const std::string& text) const { writeBytes(centre, text); }
};

constexpr const char* kHeader =
    "<Centro Codigo=\"1\" Nombre=\"N\" CursoEscolar=\"C\" Version=\"1\">";
constexpr const char* kEarlierResult = "<Centro Codigo=\"anterior\"><horario/></Centro>\n";
constexpr const char* kIni =
    "[General]\r\nRuta=C:\\WTEMP\r\n[Transformadores]\r\nTransformado=0\r\n";

std::string centreWith(const std::string& inside) { return kHeader + inside + "</Centro>"; }

std::string sessions(const std::string& dia, const std::string& start, const std::string& end) {
    return centreWith("<Sesiones><Sesion Dia=\"" + dia + "\" HoraInicio=\"" + start +
                      "\" HoraFin=\"" + end + "\"/></Sesiones>");
}

std::vector<DbfField> solucFields(char diaType = 'N', char horaType = 'N') {
    return {{"ASIG", 'C', 10},     {"TAREA", 'C', 10}, {"DIA", diaType, 2}, {"HORA", horaType, 2},
            {"CODGRUPO", 'C', 10}, {"PROF", 'C', 10},  {"AULA", 'C', 10}};
}

// The values of a SOLUC row that passes every test of the row rules over the example's tables.
std::vector<std::string> goodSolucRow(const Scene& scene) {
    store::Table t = store::Table::open(scene.workDb, "ASIGNOMT", store::Table::Mode::Shared);
    store::Table g = store::Table::open(scene.workDb, "GRUPOST", store::Table::Mode::Shared);
    store::Table d = store::Table::open(scene.workDb, "DIASHORAST", store::Table::Mode::Shared);
    const std::string diho = d.asText("DIHO");
    return {t.asText("COD"), "", diho.substr(0, 1), diho.substr(1), g.asText("ABREV"), "", ""};
}

// Another process holding a file open for exclusive use, as the timetabling product does.
const Role holdFile("hold-file", [](const std::vector<std::string>& args) {
    store::platform::File file;
    if (store::platform::openForReading(args.at(0), file) != 0 ||
        store::platform::lock(file, true) != 0)
        return 1;
    signalReadyAndWait(args.at(1));
    return 0;
});

class HeldByAnotherProcess {
  public:
    explicit HeldByAnotherProcess(const fs::path& file)
        : marker_(file.parent_path().parent_path() / "held-by-another-process"),
          holder_(runRole(holdFile, {file.string(), marker_.string()})) {
        if (!waitUntilReady(holder_, marker_)) throw std::runtime_error("cannot hold the file");
    }
    ~HeldByAnotherProcess() {
        std::error_code ec;
        fs::remove(marker_, ec);
        holder_.wait();
    }
    HeldByAnotherProcess(const HeldByAnotherProcess&) = delete;
    HeldByAnotherProcess& operator=(const HeldByAnotherProcess&) = delete;

  private:
    fs::path marker_;
    Process holder_;
};

struct BadInput {
    const char* name;
    Action action;
    std::function<void(const Scene&)> prepare;
    // Empty: the run must end with "Proceso finalizado"; else a part of the error's text.
    std::string error;
    // Further checks after the run (the scene as the run left it).
    std::function<void(const Scene&)> check = nullptr;
    // Held around the run: another process's lock, an injected failure.
    std::function<std::function<void()>(const Scene&)> during = nullptr;
};

std::size_t records(const Scene& scene, const char* table) {
    return store::Table::open(scene.workDb, table, store::Table::Mode::Shared).recordCount();
}

void expectEmptyTables(const Scene& scene) {
    for (const char* table : store::work_tables::writtenTables())
        EXPECT_EQ(records(scene, table), 0U) << table;
}

std::function<std::function<void()>(const Scene&)> injected(io::Operation operation, int error) {
    return [operation, error](const Scene&) {
        io::reset();
        io::inject({operation, 1, error, true});
        return [] { io::reset(); };
    };
}

std::function<std::function<void()>(const Scene&)> heldTable(const char* table) {
    return [table](const Scene& scene) {
        auto holder = std::make_shared<HeldByAnotherProcess>(store::dbfPath(scene.workDb, table));
        return [holder]() mutable { holder.reset(); };
    };
}

void damageSoluc(const Scene& scene, const std::function<void(std::string&)>& damage) {
    const fs::path file = store::dbfPath(scene.workDb, "SOLUC");
    std::string bytes = readBytes(file);
    damage(bytes);
    writeBytes(file, bytes);
}

void putU16(std::string& bytes, std::size_t at, unsigned value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

std::string billionLaughs() {
    std::string dtd = "<!DOCTYPE Centro [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        dtd += "<!ENTITY l" + std::to_string(i) + " \"" +
               repeated("&l" + std::to_string(i - 1) + ";", 10) + "\">";
    return "<?xml version=\"1.0\"?>" + dtd + "]>" +
           centreWith("<Materias><Materia Codigo=\"A\" Denominacion=\"&l9;\"/></Materias>");
}

std::string utf16WithoutBom(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

const std::vector<BadInput>& cases() {
    static const std::vector<BadInput> all = {
        // Centre files, first action.
        // A file that is no centre file would empty every table: refused, nothing touched.
        {"NotWellFormed", Action::Exportar,
         [](const Scene& s) { s.centreText(std::string(kHeader) + "<Materias><Materia"); },
         "no es un documento XML válido (línea 1"},
        {"EmptyFile", Action::Exportar, [](const Scene& s) { s.centreText(""); },
         "no es un documento XML válido"},
        {"WrongRoot", Action::Exportar,
         [](const Scene& s) {
             s.centreText(
                 "<Escuela><Materias><Materia Codigo=\"A\" Denominacion=\"a\"/>"
                 "</Materias></Escuela>");
         },
         "no tiene el elemento raíz Centro (su raíz es Escuela)"},
        {"Latin1BytesDeclaredUtf8", Action::Exportar,
         [](const Scene& s) {
             s.centreText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" +
                          centreWith("<Materias><Materia Codigo=\"A\" Denominacion=\"Lat\xEDn\"/>"
                                     "</Materias>"));
         },
         "no es un documento XML válido"},
        {"Utf16WithoutByteOrderMarkOrDeclaration", Action::Exportar,
         [](const Scene& s) { s.centreText(utf16WithoutBom(centreWith(""))); },
         "no es un documento XML válido"},
        {"NoLists", Action::Exportar, [](const Scene& s) { s.centreText(centreWith("")); }, "",
         expectEmptyTables},
        {"ElementsWithoutAttributes", Action::Exportar,
         [](const Scene& s) {
             s.centreText(
                 centreWith("<Materias><Materia/><Materia Codigo=\"B\"/></Materias>"
                            "<Profesores><Profesor/></Profesores><Aulas><Aula/></Aulas>"
                            "<Grupos><Grupo/></Grupos>"));
         },
         "",
         [](const Scene& s) {
             EXPECT_EQ(records(s, "ASIGNOMT"), 2U);
             EXPECT_EQ(records(s, "AULAT"), 1U);
         }},
        {"SessionWithoutTimes", Action::Exportar,
         [](const Scene& s) {
             s.centreText(centreWith("<Sesiones><Sesion Dia=\"L\"/></Sesiones>"));
         },
         "is not a valid integer value"},
        {"SubjectOfAGroupWithoutHours", Action::Exportar,
         [](const Scene& s) {
             s.centreText(centreWith(
                 "<Materias><Materia Codigo=\"B\" Denominacion=\"b\"/></Materias>"
                 "<Grupos><Grupo Codigo=\"G\"><MateriasGrupo><MateriaGrupo Codigo=\"B\"/>"
                 "</MateriasGrupo></Grupo></Grupos>"));
         },
         "'' is not a valid floating point value"},
        {"AttributeOf100000Characters", Action::Exportar,
         [](const Scene& s) {
             s.centreText(centreWith("<Materias><Materia Codigo=\"A\" Denominacion=\"" +
                                     std::string(100000, 'x') +
                                     "\"/></Materias><Aulas><Aula Codigo=\"" +
                                     std::string(100000, 'y') + "\" Denominacion=\"d\"/></Aulas>"));
         },
         "",
         [](const Scene& s) {
             store::Table t = store::Table::open(s.workDb, "ASIGNOMT", store::Table::Mode::Shared);
             EXPECT_EQ(t.asText("NOMBRE"), std::string(80, 'x'));
             EXPECT_EQ(records(s, "AULAT"), 1U);
         }},
        {"CharactersOutsideTheCodePage", Action::Exportar,
         [](const Scene& s) {
             s.centreText(
                 centreWith("<Materias><Materia Codigo=\"A\" "
                            "Denominacion=\"\xCE\xA9mega \xF0\x9F\x98\x80 caf\xC3\xA9\"/>"
                            "</Materias>"));
         },
         "",
         [](const Scene& s) {
             store::Table t = store::Table::open(s.workDb, "ASIGNOMT", store::Table::Mode::Shared);
             EXPECT_EQ(t.asText("NOMBRE"), "?mega ? caf\xE9");
         }},
        {"HoursOfLetters", Action::Exportar,
         [](const Scene& s) {
             s.centreText(centreWith(
                 "<Materias><Materia Codigo=\"B\" Denominacion=\"b\"/></Materias>"
                 "<Grupos><Grupo Codigo=\"G\" Denominacion=\"G\" CodigoEnsenanza=\"E\" Turno=\"M\" "
                 "Curso=\"1\" Letra=\"A\"><MateriasGrupo><MateriaGrupo Codigo=\"B\" "
                 "Horas=\"cuatro\"/></MateriasGrupo></Grupo></Grupos>"));
         },
         "'cuatro' is not a valid floating point value"},
        {"TimeWithOneHourDigit", Action::Exportar,
         [](const Scene& s) { s.centreText(sessions("L", "8:00", "8:55")); },
         "'8:' is not a valid integer value"},
        {"TimeWithSeconds", Action::Exportar,
         [](const Scene& s) { s.centreText(sessions("L", "08:00:00", "08:55:00")); },
         "is not a valid integer value"},
        {"DayLetterOutsideTheSeven", Action::Exportar,
         [](const Scene& s) { s.centreText(sessions("Q", "08:00", "08:55")); }, "",
         [](const Scene& s) { EXPECT_EQ(records(s, "DIASHORAST"), 0U); }},
        {"LowerCaseDayLetter", Action::Exportar,
         [](const Scene& s) { s.centreText(sessions("l", "08:00", "08:55")); }, "",
         [](const Scene& s) { EXPECT_EQ(records(s, "DIASHORAST"), 0U); }},
        {"TwoHundredThousandElements", Action::Exportar,
         [](const Scene& s) {
             std::string rooms;
             for (int i = 0; i < 200000; ++i)
                 rooms += "<Aula Codigo=\"A" + std::to_string(i) + "\" Denominacion=\"x\"/>";
             s.centreText(centreWith("<Aulas>" + rooms + "</Aulas>"));
         },
         "", [](const Scene& s) { EXPECT_EQ(records(s, "AULAT"), 200000U); }},
        {"DeepNesting", Action::Exportar,
         [](const Scene& s) {
             s.centreText(std::string(kHeader) + repeated("<a>", 100000) +
                          repeated("</a>", 100000) + "</Centro>");
         },
         "no es un documento XML válido"},
        {"ExternalEntityReference", Action::Exportar,
         [](const Scene& s) {
             writeBytes(s.root / "secreto.txt", "SECRETO");
             // A relative address, which reads as a URI on every platform (a Windows path does
             // not, and libxml2 then says that first).
             s.centreText(
                 "<?xml version=\"1.0\"?><!DOCTYPE Centro [<!ENTITY x SYSTEM "
                 "\"../secreto.txt\">]>" +
                 centreWith("<Materias><Materia Codigo=\"A\" Denominacion=\"&x;\"/>"
                            "</Materias>"));
         },
         "Attribute references external entity 'x'",
         [](const Scene& s) {
             EXPECT_EQ(readBytes(store::dbfPath(s.workDb, "ASIGNOMT")).find("SECRETO"),
                       std::string::npos);
         }},
        {"BillionLaughs", Action::Exportar, [](const Scene& s) { s.centreText(billionLaughs()); },
         "no es un documento XML válido"},
        {"Utf16WithoutByteOrderMark", Action::Exportar,
         [](const Scene& s) {
             s.centreText(utf16WithoutBom(
                 "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" +
                 centreWith("<Materias><Materia Codigo=\"A\" Denominacion=\"a\"/></Materias>")));
         },
         "", [](const Scene& s) { EXPECT_EQ(records(s, "ASIGNOMT"), 1U); }},
        {"CentreFileMissing", Action::Exportar, [](const Scene& s) { fs::remove(s.centre); },
         "No existe archivo"},
        {"CentreFileIsAFolder", Action::Exportar,
         [](const Scene& s) {
             fs::remove(s.centre);
             fs::create_directory(s.centre);
         },
         "No existe archivo"},
        // Centre files, second action.
        {"NotWellFormedForTheResult", Action::Importar,
         [](const Scene& s) { s.centreText(std::string(kHeader) + "<horario>"); },
         "no es un documento XML válido"},
        {"WrongRootForTheResult", Action::Importar,
         [](const Scene& s) { s.centreText("<Escuela Codigo=\"1\"/>"); },
         "no tiene el elemento raíz Centro"},
        {"RootWithoutItsHeader", Action::Importar,
         [](const Scene& s) { s.centreText("<Centro Codigo=\"1\" Nombre=\"N\"/>"); },
         "no tiene los atributos CursoEscolar, Version."},
        {"EmptyFileForTheResult", Action::Importar, [](const Scene& s) { s.centreText(""); },
         "no es un documento XML válido"},
        {"BillionLaughsForTheResult", Action::Importar,
         [](const Scene& s) { s.centreText(billionLaughs()); }, "no es un documento XML válido"},
        {"NoListsForTheResult", Action::Importar,
         [](const Scene& s) { s.centreText(centreWith("")); }, "",
         [](const Scene& s) { EXPECT_TRUE(wellFormedResult(s.result)); }},
        // SOLUC tables.
        {"SolucTruncated", Action::Importar,
         [](const Scene& s) { damageSoluc(s, [](std::string& b) { b.resize(b.size() - 40); }); },
         "SOLUC"},
        {"SolucHeaderLengthWrong", Action::Importar,
         [](const Scene& s) { damageSoluc(s, [](std::string& b) { putU16(b, 8, 0xFFF0); }); },
         "SOLUC"},
        {"SolucRecordCountPastTheEnd", Action::Importar,
         [](const Scene& s) {
             damageSoluc(s, [](std::string& b) { b[4] = static_cast<char>(0x7F); });
         },
         "SOLUC"},
        {"SolucWithoutFields", Action::Importar,
         [](const Scene& s) {
             DbfBuilder(DbfBuilder::kLevel3, {}).write(store::dbfPath(s.workDb, "SOLUC"));
         },
         "SOLUC"},
        {"SolucUnknownFieldType", Action::Importar,
         [](const Scene& s) {
             auto fields = solucFields();
             fields[3].type = 'Q';
             DbfBuilder soluc(DbfBuilder::kLevel3, fields);
             soluc.rawRecord(" " + std::string(10, ' ') + std::string(10, ' ') + " 1" + " 1" +
                             std::string(30, ' '));
             soluc.write(store::dbfPath(s.workDb, "SOLUC"));
         },
         "HORA"},
        {"SolucDayAsTextX", Action::Importar,
         [](const Scene& s) {
             DbfBuilder soluc(DbfBuilder::kLevel3, solucFields('C'));
             soluc.record({"MAT", "", "X", "1", "G", "", ""});
             soluc.write(store::dbfPath(s.workDb, "SOLUC"));
         },
         "'X' is not a valid integer value\nSOLUC, registro 1: DIA «X»"},
        // Digits that are no number, asked for an integer: the integer's text, and the record
        // numbered as the list of records not written numbers it, deleted records counted.
        {"SolucDayAsDigitsA", Action::Importar,
         [](const Scene& s) {
             DbfBuilder soluc(DbfBuilder::kLevel3, solucFields());
             soluc.record(goodSolucRow(s), true).record({"MAT", "", "a", "1", "G", "", ""});
             soluc.write(store::dbfPath(s.workDb, "SOLUC"));
         },
         "' a' is not a valid integer value\nSOLUC, registro 2: DIA «a»"},
        {"SolucPeriodAsTextX", Action::Importar,
         [](const Scene& s) {
             const std::vector<std::string> row = goodSolucRow(s);
             DbfBuilder soluc(DbfBuilder::kLevel3, solucFields('N', 'C'));
             soluc.record(row).record({row[0], "", row[2], "x", row[4], "", ""});
             soluc.write(store::dbfPath(s.workDb, "SOLUC"));
         },
         "'x' is not a valid floating point value\nSOLUC, registro 2: HORA «x»"},
        {"SolucEmptyPeriod", Action::Importar,
         [](const Scene& s) {
             DbfBuilder soluc(DbfBuilder::kLevel3, solucFields('N', 'C'));
             soluc.record({"MAT", "", "1", "", "G", "", ""});
             soluc.write(store::dbfPath(s.workDb, "SOLUC"));
         },
         "",
         [](const Scene& s) {
             store::CentreDocument doc;
             doc.load(s.result);
             EXPECT_TRUE(doc.selectNodes("/Centro/horario/actividad").empty());
         }},
        {"SolucDeletedRecords", Action::Importar,
         [](const Scene& s) {
             const std::vector<std::string> row = goodSolucRow(s);
             DbfBuilder soluc(DbfBuilder::kLevel3, solucFields());
             soluc.record(row, true).record(row).record(row, true);
             soluc.write(store::dbfPath(s.workDb, "SOLUC"));
         },
         "",
         [](const Scene& s) {
             store::CentreDocument doc;
             doc.load(s.result);
             EXPECT_EQ(doc.selectNodes("/Centro/horario/actividad").size(), 1U);
         }},
        {"SolucHeldByAnotherProgram", Action::Importar, [](const Scene&) {},
         "La tabla está en uso por otro programa", nullptr, heldTable("SOLUC")},
        {"SolucIsEmptyFile", Action::Importar,
         [](const Scene& s) { writeBytes(store::dbfPath(s.workDb, "SOLUC"), ""); }, "SOLUC"},
        {"SolucMissing", Action::Importar,
         [](const Scene& s) { fs::remove(store::dbfPath(s.workDb, "SOLUC")); },
         "No existe archivo XML o Solución."},
        {"TablesSpelledInLowerCase", Action::Importar,
         [](const Scene& s) {
             for (const char* table : {"SOLUC", "PROFT", "GRUPOST", "COUNTSES"})
                 for (const fs::path& file :
                      {store::dbfPath(s.workDb, table), store::mdxPath(s.workDb, table)})
                     if (fs::exists(file))
                         fs::rename(file, s.workDb / lowerCase(file.filename().string()));
         },
         "",
         [](const Scene& s) {
             store::CentreDocument doc;
             doc.load(s.result);
             EXPECT_EQ(doc.selectNodes("/Centro/horario/actividad").size(), 5U);
         }},
        {"LookupTableMissing", Action::Importar,
         [](const Scene& s) { fs::remove(store::dbfPath(s.workDb, "DIASHORAST")); },
         "No existe la tabla"},
        {"LookupTableTruncated", Action::Importar,
         [](const Scene& s) {
             const fs::path file = store::dbfPath(s.workDb, "PROFT");
             writeBytes(file, readBytes(file).substr(0, 100));
         },
         "PROFT"},
        // Work tables and the work folder.
        {"WorkTableHeldByAnotherProgram", Action::Exportar, [](const Scene&) {},
         "La tabla está en uso por otro programa", nullptr, heldTable("ASIGT")},
        {"CoursesTableHeldByAnotherProgram", Action::Exportar,
         [](const Scene& s) {
             writeBytes(store::dbfPath(s.workDb, "CURSOST"), "courses");
             writeBytes(s.workDb / "cursost.mdx", "courses index");
         },
         "",
         [](const Scene& s) {
             EXPECT_EQ(readBytes(store::dbfPath(s.workDb, "CURSOST")), "courses");
             EXPECT_TRUE(fs::exists(s.workDb / "cursost.mdx"));
             EXPECT_EQ(records(s, "ASIGT"), 82U);
         },
         heldTable("CURSOST")},
        {"DamagedOldWorkTableIsReplaced", Action::Exportar,
         [](const Scene& s) { writeBytes(store::dbfPath(s.workDb, "PROFT"), "not a table"); }, "",
         [](const Scene& s) { EXPECT_GT(records(s, "PROFT"), 0U); }},
        {"WorkFolderMissing", Action::Exportar, [](const Scene& s) { fs::remove_all(s.workDb); },
         "WTEMP"},
        {"WorkFolderIsAFile", Action::Exportar,
         [](const Scene& s) {
             fs::remove_all(s.workDb);
             writeBytes(s.workDb, "");
         },
         "WTEMP"},
        {"WorkFolderMissingForTheResult", Action::Importar,
         [](const Scene& s) { fs::remove_all(s.workDb); }, "No existe archivo XML o Solución."},
        {"WorkFolderReadOnly", Action::Exportar, [](const Scene&) {}, "el disco es de solo lectura",
         nullptr, injected(io::Operation::CreateDirectory, EROFS)},
        {"WorkFolderFull", Action::Exportar, [](const Scene&) {}, "no queda espacio en el disco",
         nullptr, injected(io::Operation::Write, ENOSPC)},
        {"ResultFolderReadOnly", Action::Importar, [](const Scene&) {},
         "el disco es de solo lectura", nullptr, injected(io::Operation::CreateFile, EROFS)},
        {"ResultFolderFull", Action::Importar, [](const Scene&) {}, "no queda espacio en el disco",
         nullptr, injected(io::Operation::Write, ENOSPC)},
        // The settings file.
        {"SettingsFileReadOnly", Action::Settings,
         [](const Scene& s) {
             fs::permissions(s.ini, fs::perms::owner_read | fs::perms::group_read);
         },
         "Unable to write to"},
        {"SettingsFileIsAFolder", Action::Settings,
         [](const Scene& s) {
             fs::remove(s.ini);
             fs::create_directory(s.ini);
         },
         "Unable to write to"},
        {"SettingsFileMissing", Action::Settings, [](const Scene& s) { fs::remove(s.ini); }, "",
         [](const Scene& s) {
             EXPECT_EQ(shell::readProfileString(s.ini, "Transformadores", "Transformado"), "1");
         }},
        {"SettingsFileWithoutTheSection", Action::Settings,
         [](const Scene& s) { writeBytes(s.ini, "\xEF\xBB\xBF[General]\nRuta=C:\\WTEMP"); }, "",
         [](const Scene& s) {
             EXPECT_EQ(
                 readBytes(s.ini),
                 "\xEF\xBB\xBF[General]\nRuta=C:\\WTEMP\n[Transformadores]\nTransformado=1\n");
         }},
        {"SettingsFolderFull", Action::Settings, [](const Scene&) {}, "Unable to write to", nullptr,
         injected(io::Operation::Write, ENOSPC)},
    };
    return all;
}

void PrintTo(const BadInput& bad, std::ostream* out) { *out << bad.name; }

class BadInputTest : public ::testing::TestWithParam<BadInput> {
  protected:
    // The scene every case starts from, made once.
    static const std::map<std::string, std::string>& baseline() {
        static const std::map<std::string, std::string> files = [] {
            ScratchDir dir;
            Scene scene{dir.path()};
            fs::create_directories(scene.workDb);
            fs::create_directories(scene.folder);
            RunState state;
            state.workDb = scene.workDb;
            RecordingUi ui;
            ui.dialogAnswers.push_back(exampleCentre());
            shell::runConversion(state, ui);
            writeSolutionFromTables(scene.workDb);
            writeBytes(scene.centre, readBytes(exampleCentre()));
            writeBytes(scene.result, kEarlierResult);
            writeBytes(scene.ini, kIni);
            return snapshot(dir.path());
        }();
        return files;
    }

    ScratchDir scratch;
};

TEST_P(BadInputTest, ClearMessageAndNothingLost) {
    const BadInput& bad = GetParam();
    const Scene scene{scratch.path()};
    restore(scene.root, baseline());
    bad.prepare(scene);
    const bool workDbIsFolder = fs::is_directory(scene.workDb);
    const auto workDbBefore =
        workDbIsFolder ? snapshot(scene.workDb) : decltype(snapshot(scene.workDb)){};
    const bool centreIsFile = fs::is_regular_file(scene.centre);
    const std::string centreBefore = centreIsFile ? readBytes(scene.centre) : "";
    const bool iniIsFile = fs::is_regular_file(scene.ini);
    const std::string iniBefore = iniIsFile ? readBytes(scene.ini) : "";

    RunState state;
    state.workDb = scene.workDb;
    RecordingUi ui;
    ui.dialogAnswers.push_back(scene.centre);
    std::string error;
    {
        const std::function<void()> release = bad.during ? bad.during(scene) : [] {};
        try {
            switch (bad.action) {
                case Action::Exportar:
                    shell::runConversion(state, ui);
                    break;
                case Action::Importar:
                    shell::runResultExport(state, ui);
                    break;
                case Action::Settings:
                    shell::writeProfileString(scene.ini, "Transformadores", "Transformado", "1");
                    state.completionStatus = 1;
                    ui.showMessage("Proceso finalizado");
                    break;
            }
        } catch (const Error& e) {
            error = e.what();
        }
        release();
    }
    // A refusal before the run starts ("No existe archivo") is a message, not an error.
    const bool missingInput = !ui.messages.empty() && ui.messages.back().starts_with("No existe");
    if (missingInput) error = ui.messages.back();
    RecordProperty("message", error.empty() && !ui.messages.empty() ? ui.messages.back() : error);
    const bool finished = state.completionStatus == 1;
    const bool reportedSuccess = !ui.messages.empty() && ui.messages.back() == "Proceso finalizado";

    if (bad.error.empty()) {
        EXPECT_EQ(error, "");
        EXPECT_TRUE(finished);
        EXPECT_TRUE(reportedSuccess);
    } else {
        EXPECT_NE(error.find(bad.error), std::string::npos) << "error: " << error;
        EXPECT_FALSE(finished);
        EXPECT_FALSE(reportedSuccess);
        if (workDbIsFolder) {
            EXPECT_EQ(snapshot(scene.workDb), workDbBefore);
        }
        EXPECT_EQ(readBytes(scene.result), kEarlierResult);
        if (iniIsFile) {
            EXPECT_EQ(readBytes(scene.ini), iniBefore);
        }
    }
    if (centreIsFile) {
        EXPECT_EQ(readBytes(scene.centre), centreBefore);
    }
    if (fs::is_directory(scene.workDb)) {
        for (const std::string& name : strayTemporaries(scene.workDb)) ADD_FAILURE() << name;
    }
    for (const std::string& name : strayTemporaries(scene.folder)) ADD_FAILURE() << name;
    if (bad.check) bad.check(scene);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             return std::string(info.param.name);
                         });

TEST(BadInputSuite, HasAtLeastFortyCases) { EXPECT_GE(cases().size(), 40U); }

}  // namespace
}  // namespace lindavex::testing
