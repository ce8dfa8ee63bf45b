// ExportarAsignaciones: one ASIGT row per group and subject taught to it.
#include <string>
#include <unordered_map>
#include <vector>

#include "store/table.h"
#include "store/work_tables.h"
#include "toworkdb/hours.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {
namespace {

struct SubjectLoad {
    std::string code;
    WeeklyLoad load;
};

}  // namespace

void ExportarAsignaciones(StepContext& ctx) {
    store::Table rows = store::Table::create(ctx.dir, work_tables::kAsigt, work_tables::asigt());
    // Nothing is read from these two; opening them checks that the earlier steps made them.
    store::Table groupsTable =
        store::Table::open(ctx.dir, work_tables::kGrupost, store::Table::Mode::Shared);
    store::Table subjectsTable =
        store::Table::open(ctx.dir, work_tables::kAsignomt, store::Table::Mode::Shared);

    const SessionLengths lengths = {ctx.run.L1, ctx.run.L2, ctx.run.L3};

    // A subject belongs to every group that carries its own group's code, so the subjects are
    // gathered by that code once, in document order. Every Horas is converted, including those
    // of subjects that give no row: a bad one anywhere stops the step.
    std::unordered_map<std::string, std::vector<SubjectLoad>> subjectsByGroupCode;
    // The subjects of one group come one after another: its code is read once for them.
    const void* lastGroup = nullptr;
    std::vector<SubjectLoad>* lastGroupSubjects = nullptr;
    for (const store::Node& subject :
         ctx.doc.selectNodes("/Centro/Grupos/Grupo/MateriasGrupo/MateriaGrupo")) {
        SubjectLoad entry{subject.attribute("Codigo"),
                          weeklyLoad(subject.attribute("Horas"), lengths)};
        if (entry.code.empty()) continue;
        const store::Node group = subject.parentNode().parentNode();
        if (group.raw() != lastGroup) {
            lastGroup = group.raw();
            lastGroupSubjects = &subjectsByGroupCode[group.attribute("Codigo")];
        }
        lastGroupSubjects->push_back(std::move(entry));
    }

    for (const store::Node& group : ctx.doc.selectNodes("/Centro/Grupos/Grupo")) {
        const std::string code = group.attribute("Codigo");
        const auto found = subjectsByGroupCode.find(code);
        if (found == subjectsByGroupCode.end()) continue;
        const std::string turno = group.attribute("Turno");
        const std::string nivel = group.attribute("CodigoEnsenanza");
        const std::string curso = group.attribute("Curso");
        const std::string letra = group.attribute("Letra");
        for (const SubjectLoad& subject : found->second) {
            rows.append();
            rows.setText("CASIG", subject.code);
            rows.setText("CPROF", "");
            rows.setText("CGRUP", code);
            rows.setText("CAULA", "");
            rows.setText("TURNO", turno);
            rows.setText("NIVEL", nivel);
            rows.setText("CURSO", curso);
            rows.setText("GRUPO", letra);
            rows.setFloat("HORAS", subject.load.hours);
            rows.setText("SESIONES", subject.load.pattern);
            rows.setText("CTAREA", "CCM");
            rows.setText("ASIG_GESTION", code);
            rows.post();
        }
    }
    ctx.close(rows);
    groupsTable.close();
    subjectsTable.close();
}

}  // namespace lindavex::toworkdb
