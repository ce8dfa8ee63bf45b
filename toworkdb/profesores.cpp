// PROFT: the teachers, with their department's name.
#include <string>
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
    for (const auto& teacher : teachers) codes.push_back(teacher.attribute("Codigo"));
    const std::vector<std::string> abbreviations = writtenCodes(codes, StoredForm::Cut);

    for (std::size_t i = 0; i < teachers.size(); ++i) {
        const store::Node& teacher = teachers[i];
        // Both separators stay when a part is empty: the product shows the name as it stands.
        const std::string name = teacher.attribute("Nombre") + ", " +
                                 teacher.attribute("Apellido1") + " " +
                                 teacher.attribute("Apellido2");
        // An unknown department keeps its code, so that it still shows.
        std::string department = teacher.attribute("CodigoDep");
        if (!department.empty()) {
            if (const auto* known = departments.find(department)) {
                department = *known;
            } else {
                ctx.note(Finding::Kind::Change, Finding::What::UnknownCode, teacher,
                         work_tables::kProft, codes[i], department, name,
                         "ningún departamento tiene el código " + report::shown(department) +
                             "; DEPART guardará el código");
            }
        }
        table.append();
        table.setText(field::kAbrev, abbreviations[i]);
        // The timetable export gives a teacher back by ABREV.
        ctx.noteCode(work_tables::kProft, teacher, codes[i], abbreviations[i], abbreviations[i],
                     name);
        table.setText(field::kNombre, name);
        table.setText(field::kDepart, department);
        table.post();
    }
    ctx.close(table);
}

}  // namespace lindavex::toworkdb
