// ExportarAsignaciones: one ASIGT row per group and subject taught to it.
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
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
    std::string_view code;  // of the document's text, or of a converted code kept for the step
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
    // The subjects of one group come one after another, so each group's are a run of one list
    // (its code is read once for them), and a code leads to the runs of its groups.
    const auto subjectNodes =
        ctx.doc.selectNodes("/Centro/Grupos/Grupo/MateriasGrupo/MateriaGrupo");
    std::vector<SubjectLoad> subjects;
    subjects.reserve(subjectNodes.size());
    struct Run {
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    std::unordered_map<std::string, std::vector<Run>> runsByGroupCode;
    const void* lastGroup = nullptr;
    Run* lastRun = nullptr;
    const store::AttributeName horasName = ctx.doc.attributeName("Horas");
    // A code that reading expanded or converted is kept here, where it stays put as more come.
    std::deque<std::string> convertedCodes;
    std::string codeScratch;
    std::string horasScratch;
    for (const store::Node& subject : subjectNodes) {
        codeScratch.clear();
        SubjectLoad entry{subject.attributeView(ctx.codigo, codeScratch), {}};
        if (!codeScratch.empty()) entry.code = convertedCodes.emplace_back(entry.code);
        const std::string_view horas = subject.attributeView(horasName, horasScratch);
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
                     subject, std::string(entry.code), "");
            continue;
        }
        if (entry.code.empty()) {
            ctx.note(Finding::Kind::Change, Finding::What::NoRow, subject, work_tables::kAsigt, "",
                     "", "", "la materia del grupo no tiene código; no tendrá fila en ASIGT");
            continue;
        }
        if (entry.load.zeroCountedAsOne) {
            ctx.note(Finding::Kind::Change, Finding::What::ZeroHours, subject, work_tables::kAsigt,
                     std::string(entry.code), "", "",
                     "Horas " + report::shown(horas) + " cuenta como una hora semanal");
        }
        // The product finds the subject of an assignment by CASIG among the CODs of ASIGNOMT.
        const std::string casig = asStored(entry.code, kCodeWidth);
        const auto named = ctx.run.subjectCodeOfCod.find(casig);
        if (named == ctx.run.subjectCodeOfCod.end() || named->second != entry.code) {
            // Built in one string: a school with long codes has one per subject of a group.
            std::string message = "CASIG ";
            report::appendShown(message, casig);
            if (named == ctx.run.subjectCodeOfCod.end()) {
                message += " no es el código (COD) de ninguna materia de ASIGNOMT";
            } else {
                message += " nombra en ASIGNOMT otra materia (";
                report::appendShown(message, named->second);
                message += ')';
            }
            ctx.note(Finding::Kind::Change, Finding::What::UnknownCode, subject,
                     work_tables::kAsigt, std::string(entry.code), casig, "", std::move(message));
        }
        const store::Node group = subject.parentNode().parentNode();
        if (group.raw() != lastGroup) {
            lastGroup = group.raw();
            lastRun = &runsByGroupCode[group.attribute(ctx.codigo)].emplace_back(
                Run{subjects.size(), subjects.size()});
        }
        subjects.push_back(std::move(entry));
        lastRun->end = subjects.size();
    }

    // ASIGT's fields, named once for all its rows.
    const store::Table::Column casigField = rows.column(field::kCasig);
    const store::Table::Column cprofField = rows.column(field::kCprof);
    const store::Table::Column cgrupField = rows.column(field::kCgrup);
    const store::Table::Column caulaField = rows.column(field::kCaula);
    const store::Table::Column turnoField = rows.column(field::kTurno);
    const store::Table::Column nivelField = rows.column(field::kNivel);
    const store::Table::Column cursoField = rows.column(field::kCurso);
    const store::Table::Column grupoField = rows.column(field::kGrupo);
    const store::Table::Column horasField = rows.column(field::kHoras);
    const store::Table::Column sesionesField = rows.column(field::kSesiones);
    const store::Table::Column ctareaField = rows.column(field::kCtarea);
    const store::Table::Column asigGestionField = rows.column(field::kAsigGestion);
    const store::AttributeName turnoName = ctx.doc.attributeName("Turno");
    const store::AttributeName ensenanzaName = ctx.doc.attributeName("CodigoEnsenanza");
    const store::AttributeName cursoName = ctx.doc.attributeName("Curso");
    const store::AttributeName letraName = ctx.doc.attributeName("Letra");
    const auto groups = ctx.doc.selectNodes("/Centro/Grupos/Grupo");
    // A row per subject of a group, give or take groups that share a code or are missing.
    rows.reserve(subjects.size());
    std::string turnoScratch;
    std::string nivelScratch;
    std::string cursoScratch;
    std::string letraScratch;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const store::Node& group = groups[g];
        const std::string code = group.attribute(ctx.codigo);
        const auto found = runsByGroupCode.find(code);
        if (found == runsByGroupCode.end()) continue;
        // The product finds the group of an assignment by CGRUP among the ABREVs of GRUPOST.
        const std::string cgrup = asStored(code, kCodeWidth);
        if (g < ctx.run.groupAbbreviations.size() && ctx.run.groupAbbreviations[g] != cgrup) {
            ctx.note(Finding::Kind::Change, Finding::What::UnknownCode, group, work_tables::kAsigt,
                     code, cgrup, group.attribute("Denominacion"),
                     "ASIGT nombra el grupo " + report::shown(cgrup) +
                         " y GRUPOST lo guarda como " +
                         report::shown(ctx.run.groupAbbreviations[g]));
        }
        const std::string_view turno = group.attributeView(turnoName, turnoScratch);
        const std::string_view nivel = group.attributeView(ensenanzaName, nivelScratch);
        const std::string_view curso = group.attributeView(cursoName, cursoScratch);
        const std::string_view letra = group.attributeView(letraName, letraScratch);
        for (const Run& subjectRun : found->second) {
            for (std::size_t i = subjectRun.begin; i < subjectRun.end; ++i) {
                const SubjectLoad& subject = subjects[i];
                rows.append();
                rows.setText(casigField, subject.code);
                rows.setText(cprofField, "");
                rows.setText(cgrupField, code);
                rows.setText(caulaField, "");
                rows.setText(turnoField, turno);
                rows.setText(nivelField, nivel);
                rows.setText(cursoField, curso);
                rows.setText(grupoField, letra);
                rows.setFloat(horasField, subject.load.hours);
                rows.setText(sesionesField, subject.load.pattern);
                rows.setText(ctareaField, "CCM");
                rows.setText(asigGestionField, code);
                rows.post();
            }
        }
    }
    ctx.close(rows);
    groupsTable.close();
    subjectsTable.close();
}

}  // namespace lindavex::toworkdb
