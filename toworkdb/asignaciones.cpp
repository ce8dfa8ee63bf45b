// ExportarAsignaciones: one ASIGT row per group and subject taught to it.
#include <string>
#include <unordered_map>
#include <vector>

#include "store/codepage.h"
#include "store/dbase/table.h"
#include "store/report.h"
#include "store/work_tables.h"
#include "toworkdb/codes.h"
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
        SubjectLoad entry{subject.attribute("Codigo"), {}};
        const std::string horas = subject.attribute("Horas");
        try {
            entry.load = weeklyLoad(horas, lengths);
        } catch (const Error& error) {
            // The conversion's own text first; then where it is, for a school with hundreds of
            // them. Checking goes on without the subject.
            ctx.fail(Error(std::string(error.what()) + "\nGrupo Codigo=\"" +
                           codepage::toUtf8(subject.parentNode().parentNode().attribute("Codigo")) +
                           "\", MateriaGrupo Codigo=\"" + codepage::toUtf8(entry.code) +
                           "\" Horas=\"" + codepage::toUtf8(horas) + "\" (línea " +
                           std::to_string(subject.line()) + " del archivo)"),
                     subject, entry.code, "");
            continue;
        }
        if (entry.code.empty()) {
            ctx.note(Finding::Kind::Change, Finding::What::NoRow, subject, work_tables::kAsigt, "",
                     "", "", "la materia del grupo no tiene código; no tendrá fila en ASIGT");
            continue;
        }
        if (entry.load.zeroCountedAsOne) {
            ctx.note(Finding::Kind::Change, Finding::What::ZeroHours, subject, work_tables::kAsigt,
                     entry.code, "", "",
                     "Horas " + report::shown(horas) + " cuenta como una hora semanal");
        }
        // The product finds the subject of an assignment by CASIG among the CODs of ASIGNOMT.
        const std::string casig = asStored(entry.code, kCodeWidth);
        const auto named = ctx.run.subjectCodeOfCod.find(casig);
        if (named == ctx.run.subjectCodeOfCod.end()) {
            ctx.note(Finding::Kind::Change, Finding::What::UnknownCode, subject,
                     work_tables::kAsigt, entry.code, casig, "",
                     "CASIG " + report::shown(casig) +
                         " no es el código (COD) de ninguna materia de ASIGNOMT");
        } else if (named->second != entry.code) {
            ctx.note(Finding::Kind::Change, Finding::What::UnknownCode, subject,
                     work_tables::kAsigt, entry.code, casig, "",
                     "CASIG " + report::shown(casig) + " nombra en ASIGNOMT otra materia (" +
                         report::shown(named->second) + ")");
        }
        const store::Node group = subject.parentNode().parentNode();
        if (group.raw() != lastGroup) {
            lastGroup = group.raw();
            lastGroupSubjects = &subjectsByGroupCode[group.attribute("Codigo")];
        }
        lastGroupSubjects->push_back(std::move(entry));
    }

    const auto groups = ctx.doc.selectNodes("/Centro/Grupos/Grupo");
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const store::Node& group = groups[g];
        const std::string code = group.attribute("Codigo");
        const auto found = subjectsByGroupCode.find(code);
        if (found == subjectsByGroupCode.end()) continue;
        // The product finds the group of an assignment by CGRUP among the ABREVs of GRUPOST.
        const std::string cgrup = asStored(code, kCodeWidth);
        if (g < ctx.run.groupAbbreviations.size() && ctx.run.groupAbbreviations[g] != cgrup) {
            ctx.note(Finding::Kind::Change, Finding::What::UnknownCode, group, work_tables::kAsigt,
                     code, cgrup, group.attribute("Denominacion"),
                     "ASIGT nombra el grupo " + report::shown(cgrup) +
                         " y GRUPOST lo guarda como " +
                         report::shown(ctx.run.groupAbbreviations[g]));
        }
        const std::string turno = group.attribute("Turno");
        const std::string nivel = group.attribute("CodigoEnsenanza");
        const std::string curso = group.attribute("Curso");
        const std::string letra = group.attribute("Letra");
        for (const SubjectLoad& subject : found->second) {
            rows.append();
            rows.setText(field::kCasig, subject.code);
            rows.setText(field::kCprof, "");
            rows.setText(field::kCgrup, code);
            rows.setText(field::kCaula, "");
            rows.setText(field::kTurno, turno);
            rows.setText(field::kNivel, nivel);
            rows.setText(field::kCurso, curso);
            rows.setText(field::kGrupo, letra);
            rows.setFloat(field::kHoras, subject.load.hours);
            rows.setText(field::kSesiones, subject.load.pattern);
            rows.setText(field::kCtarea, "CCM");
            rows.setText(field::kAsigGestion, code);
            rows.post();
        }
    }
    ctx.close(rows);
    groupsTable.close();
    subjectsTable.close();
}

}  // namespace lindavex::toworkdb
