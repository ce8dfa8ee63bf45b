// PROFT: the teachers, with their department's name.
#include <string>
#include <string_view>
#include <vector>

#include "store/codepage.h"
#include "store/dbase/table.h"
#include "store/report.h"
#include "store/work_tables.h"
#include "toworkdb/codes.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {

void ExportarProfesores(StepContext& ctx) {
    auto table = store::Table::create(ctx.dir, work_tables::kProft, work_tables::proft());
    const FirstDenominacionByCode departments(ctx.doc, "/Centro/Departamentos/Departamento");
    const auto teachers = ctx.doc.selectNodes("/Centro/Profesores/Profesor");
    std::vector<std::string> codes;
    codes.reserve(teachers.size());
    for (const auto& teacher : teachers) codes.push_back(teacher.attribute(ctx.codigo));
    const std::vector<std::string> abbreviations = writtenCodes(codes, StoredForm::Cut);

    const store::AttributeName nombreName = ctx.doc.attributeName("Nombre");
    const store::AttributeName apellido1Name = ctx.doc.attributeName("Apellido1");
    const store::AttributeName apellido2Name = ctx.doc.attributeName("Apellido2");
    const store::AttributeName departamentoName = ctx.doc.attributeName("CodigoDep");
    const store::Table::Column abrevField = table.column(field::kAbrev);
    const store::Table::Column nombreField = table.column(field::kNombre);
    const store::Table::Column departField = table.column(field::kDepart);
    std::string scratch;
    std::string departmentScratch;
    std::string name;
    for (std::size_t i = 0; i < teachers.size(); ++i) {
        const store::Node& teacher = teachers[i];
        // Both separators stay when a part is empty: the product shows the name as it stands.
        name.assign(teacher.attributeView(nombreName, scratch));
        name += ", ";
        name += teacher.attributeView(apellido1Name, scratch);
        name += ' ';
        name += teacher.attributeView(apellido2Name, scratch);
        // An unknown department keeps its code, so that it still shows.
        std::string_view department = teacher.attributeView(departamentoName, departmentScratch);
        if (!department.empty()) {
            if (const auto* known = departments.find(department)) {
                department = *known;
            } else {
                ctx.note(Finding::Kind::Change, Finding::What::UnknownCode, teacher,
                         work_tables::kProft, codes[i], std::string(department), name,
                         "ningún departamento tiene el código " + report::shown(department) +
                             "; DEPART guardará el código");
            }
        }
        table.append();
        table.setText(abrevField, abbreviations[i]);
        // The timetable export gives a teacher back by ABREV.
        ctx.noteCode(work_tables::kProft, teacher, codes[i], abbreviations[i], abbreviations[i],
                     name);
        table.setText(nombreField, name);
        table.setText(departField, department);
        table.post();
    }
    ctx.close(table);
}

}  // namespace lindavex::toworkdb
