// GRUPOST: the groups, with their teaching's name and their tutor. The courses table CURSOST
// goes: the product rebuilds it from the groups.
#include <string>
#include <string_view>
#include <vector>

#include "store/codepage.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/report.h"
#include "store/work_tables.h"
#include "toworkdb/codes.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {

void ExportarGrupos(StepContext& ctx) {
    store::deleteTableFiles(ctx.dir, work_tables::kGrupost);
    store::deleteTableFiles(ctx.dir, work_tables::kRemovedTable);
    auto table = store::Table::create(ctx.dir, work_tables::kGrupost, work_tables::grupost());
    // Exclusive, as the window's teachers table component holds it.
    auto teachers = store::Table::open(ctx.dir, work_tables::kProft, store::Table::Mode::Exclusive);
    const FirstDenominacionByCode teachings(ctx.doc, "/Centro/Ensenanzas/Ensenanza");
    const auto groups = ctx.doc.selectNodes("/Centro/Grupos/Grupo");
    std::vector<std::string> codes;
    codes.reserve(groups.size());
    for (const auto& group : groups) codes.push_back(group.attribute(ctx.codigo));
    const std::vector<std::string> abbreviations = writtenCodes(codes, StoredForm::Shortened);

    // The fields of the two tables, named once for all the groups.
    const store::AttributeName denominacionName = ctx.doc.attributeName("Denominacion");
    const store::AttributeName ensenanzaName = ctx.doc.attributeName("CodigoEnsenanza");
    const store::AttributeName tutorName = ctx.doc.attributeName("CodigoTutor");
    const store::AttributeName turnoName = ctx.doc.attributeName("Turno");
    const store::AttributeName cursoName = ctx.doc.attributeName("Curso");
    const store::AttributeName letraName = ctx.doc.attributeName("Letra");
    const store::Table::Column tutorAbrev = teachers.column(field::kAbrev);
    const store::Table::Column abrevField = table.column(field::kAbrev);
    const store::Table::Column turnoField = table.column(field::kTurno);
    const store::Table::Column nivelField = table.column(field::kNivel);
    const store::Table::Column cursoField = table.column(field::kCurso);
    const store::Table::Column grupoField = table.column(field::kGrupo);
    const store::Table::Column descripField = table.column(field::kDescrip);
    const store::Table::Column marcoField = table.column(field::kMarco);
    const store::Table::Column tutorField = table.column(field::kTutor);
    std::string teachingScratch;
    std::string tutorScratch;
    std::string scratch;  // for a value written at once

    for (std::size_t i = 0; i < groups.size(); ++i) {
        const store::Node& group = groups[i];
        std::string description = group.attribute(denominacionName);
        const std::string_view teaching = group.attributeView(ensenanzaName, teachingScratch);
        const std::string name = description;
        // A tutor the teachers table does not know would point nowhere in the product.
        std::string_view tutor = group.attributeView(tutorName, tutorScratch);
        if (!tutor.empty() && !teachers.lookup(tutorAbrev, tutor)) {
            ctx.note(Finding::Kind::Change, Finding::What::TutorEmptied, group,
                     work_tables::kGrupost, codes[i], "", name,
                     "el tutor " + report::shown(tutor) +
                         " no es la abreviatura de ningún profesor de PROFT; TUTOR quedará vacío");
            tutor = "";
        }
        if (!teaching.empty()) {
            if (const auto* teachingName = teachings.find(teaching)) {
                description += " (" + *teachingName + ")";
            } else {
                ctx.note(Finding::Kind::Change, Finding::What::UnknownCode, group,
                         work_tables::kGrupost, codes[i], std::string(teaching), name,
                         "ninguna enseñanza tiene el código " + report::shown(teaching) +
                             "; DESCRIP queda sin su nombre");
            }
        }
        table.append();
        table.setText(abrevField, abbreviations[i]);
        // The timetable export gives a group back by ABREV.
        ctx.noteCode(work_tables::kGrupost, group, codes[i], abbreviations[i], abbreviations[i],
                     name);
        table.setText(turnoField, group.attributeView(turnoName, scratch));
        table.setText(nivelField, teaching);
        table.setText(cursoField, group.attributeView(cursoName, scratch));
        table.setText(grupoField, group.attributeView(letraName, scratch));
        table.setText(descripField, description);
        table.setText(marcoField, "0");
        table.setText(tutorField, tutor);
        table.post();
    }
    ctx.close(table);
    teachers.close();
    ctx.run.groupAbbreviations = abbreviations;
}

}  // namespace lindavex::toworkdb
