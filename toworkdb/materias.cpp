// ASIGNOMT: the subjects, then the activity types, which the product treats as tasks.
#include <string>

#include "store/table.h"
#include "store/work_tables.h"
#include "toworkdb/codes.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {
namespace {

constexpr const char* kTable = "ASIGNOMT";
constexpr const char* kSubjects = "/Centro/Materias/Materia";
constexpr const char* kActivityTypes = "/Centro/TiposActividad/TipoActividad";

void appendRows(const store::CentreDocument& doc, std::string_view path, SubjectCodes& codes,
                store::Table& table, bool isTask) {
    for (const auto& element : doc.selectNodes(path)) {
        const std::string longCode = element.attribute("Codigo");
        const std::string name = element.attribute("Denominacion");
        const auto cod = codes.take(longCode);
        if (!cod) continue;
        table.append();
        table.setText("COD", *cod);
        table.setText("CODLARGO", longCode);
        table.setText("NOMBRE", name);
        table.setLogical("ESTAREA", isTask);
        table.setText("ABREV_GESTION", longCode);
        table.post();
    }
}

}  // namespace

void ExportarMaterias(StepContext& ctx) {
    store::recreateTable(ctx.dir, kTable, store::work_tables::asignomt());
    auto table = store::Table::open(ctx.dir, kTable, store::Table::Mode::Shared);
    SubjectCodes codes(ctx.state.usedShortCodes, ctx.state.seenLongCodes,
                       SubjectCodes::Key::LongCode);
    appendRows(ctx.doc, kSubjects, codes, table, false);
    table.close();
}

void ExportarTiposActividad(StepContext& ctx) {
    auto table = store::Table::open(ctx.dir, kTable, store::Table::Mode::Shared);
    SubjectCodes codes(ctx.state.usedShortCodes, ctx.state.seenLongCodes,
                       SubjectCodes::Key::ShortCode);
    // An activity type that repeats a subject's code is the same code again, not a new one.
    for (const auto& subject : ctx.doc.selectNodes(kSubjects)) {
        codes.noteEarlierLongCode(subject.attribute("Codigo"));
    }
    appendRows(ctx.doc, kActivityTypes, codes, table, true);
    table.close();
}

}  // namespace lindavex::toworkdb
