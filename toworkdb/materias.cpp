// ASIGNOMT: the subjects, then the activity types, which the product treats as tasks.
#include <optional>
#include <string>
#include <vector>

#include "store/dbase/table.h"
#include "store/work_tables.h"
#include "toworkdb/codes.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {
namespace {

constexpr const char* kTable = work_tables::kAsignomt;
constexpr const char* kSubjects = "/Centro/Materias/Materia";
constexpr const char* kActivityTypes = "/Centro/TiposActividad/TipoActividad";

SubjectList listAt(const store::CentreDocument& doc, std::string_view path, SubjectList::Key key) {
    SubjectList list{{}, key};
    const store::AttributeName codigo = doc.attributeName("Codigo");
    for (const auto& element : doc.selectNodes(path))
        list.longCodes.push_back(element.attribute(codigo));
    return list;
}

SubjectList subjects(const store::CentreDocument& doc) {
    return listAt(doc, kSubjects, SubjectList::Key::LongCode);
}
SubjectList activityTypes(const store::CentreDocument& doc) {
    return listAt(doc, kActivityTypes, SubjectList::Key::ShortCode);
}

void appendRows(StepContext& ctx, std::string_view path,
                const std::vector<std::optional<std::string>>& cods, store::Table& table,
                bool isTask) {
    const auto elements = ctx.doc.selectNodes(path);
    const store::AttributeName denominacionName = ctx.doc.attributeName("Denominacion");
    const store::Table::Column codField = table.column(field::kCod);
    const store::Table::Column codlargoField = table.column(field::kCodlargo);
    const store::Table::Column nombreField = table.column(field::kNombre);
    const store::Table::Column estareaField = table.column(field::kEstarea);
    const store::Table::Column abrevGestionField = table.column(field::kAbrevGestion);
    for (std::size_t i = 0; i < elements.size() && i < cods.size(); ++i) {
        const std::string longCode = elements[i].attribute(ctx.codigo);
        const std::string name = elements[i].attribute(denominacionName);
        if (!cods[i]) {
            ctx.note(Finding::Kind::Change, Finding::What::NoRow, elements[i], kTable, longCode, "",
                     name,
                     "no tendrá fila en ASIGNOMT: repite el código de una materia o tipo de "
                     "actividad anterior");
            continue;
        }
        table.append();
        table.setText(codField, *cods[i]);
        ctx.run.subjectCodeOfCod.try_emplace(*cods[i], longCode);
        // The timetable export gives a subject back by ABREV_GESTION, an activity type by the
        // code the product schedules it under.
        ctx.noteCode(kTable, elements[i], longCode, *cods[i],
                     isTask ? *cods[i] : asStored(longCode, kCodeWidth), name);
        table.setText(codlargoField, longCode);
        table.setText(nombreField, name);
        table.setLogical(estareaField, isTask);
        table.setText(abrevGestionField, longCode);
        table.post();
    }
}

}  // namespace

void ExportarMaterias(StepContext& ctx) {
    auto table = store::Table::create(ctx.dir, kTable, work_tables::asignomt());
    // The activity types come into the same table next: a subject numbered out of a collision
    // must not take a code their rules give them.
    const SubjectList types = activityTypes(ctx.doc);
    const auto cods =
        subjectCodes(ctx.run.usedShortCodes, ctx.run.seenLongCodes, subjects(ctx.doc), {}, &types);
    appendRows(ctx, kSubjects, cods, table, false);
    ctx.close(table);
}

void ExportarTiposActividad(StepContext& ctx) {
    auto table = store::Table::open(ctx.dir, kTable, store::Table::Mode::Shared);
    // An activity type that repeats a subject's code is the same code again, not a new one.
    const auto cods = subjectCodes(ctx.run.usedShortCodes, ctx.run.seenLongCodes,
                                   activityTypes(ctx.doc), subjects(ctx.doc).longCodes, nullptr);
    appendRows(ctx, kActivityTypes, cods, table, true);
    ctx.close(table);
}

}  // namespace lindavex::toworkdb
