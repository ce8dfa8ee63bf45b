// The first action: the seven steps build every work table aside, then the tables go in
// together (store/workdb/table_swap.h). A run that stops on an error leaves the work database as
// it was.
#include "toworkdb/conversion_run.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "store/error.h"
#include "store/work_tables.h"
#include "store/workdb/table_swap.h"
#include "store/workdb/workdb.h"
#include "store/xml/centre_document.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {
namespace fs = std::filesystem;
namespace {

// The seven steps, in their order, into one folder.
void runSteps(RunData& run, const store::CentreDocument& centre, const fs::path& dir) {
    StepContext ctx{run, centre, dir};
    // A school with long codes has a finding or two per element. Room for them from the start
    // spares moving every finding each time the list grows; pages never filled cost nothing.
    run.findings.reserve(2 * centre.elementCount());
    ExportarMaterias(ctx);
    ExportarTiposActividad(ctx);
    ExportarProfesores(ctx);
    ExportarAulas(ctx);
    ExportarGrupos(ctx);
    ExportarSesiones(ctx);
    ExportarAsignaciones(ctx);
    // Converting it empties the school's tables; that may be meant, but it is worth a word.
    if (std::all_of(run.records.begin(), run.records.end(),
                    [](const auto& table) { return table.second == 0; })) {
        ctx.note(Finding::Kind::Change, Finding::What::NothingToExport, centre.documentElement(),
                 "", "", "", "",
                 "el centro no tiene datos que exportar: la exportación dejaría vacías todas las "
                 "tablas de trabajo");
    }
}

// Read as its declaration says, as the conversion reads it, but worth a word: a file saved as
// UTF-8 under an older declaration fills the tables with "MatemÃ¡ticas".
void noteHiddenUtf8(RunData& run, const store::ParseResult& parsed) {
    const store::ParseResult::HiddenUtf8& hidden = parsed.hiddenUtf8;
    if (hidden.line == 0) return;
    run.findings.push_back(
        {Finding::Kind::Change, Finding::What::HiddenUtf8, "", "", "", "", "", hidden.line,
         "el archivo declara la codificación " + hidden.declared +
             ", pero su texto parece UTF-8: «" + hidden.readAsUtf8 +
             "» pasará a las tablas como «" + hidden.readAsDeclared +
             "»; si se guardó como UTF-8, declare encoding=\"UTF-8\" en su primera línea"});
}

ConversionReport reportOf(RunData& run) {
    ConversionReport report;
    for (const char* table : work_tables::writtenTables())
        report.tables.push_back({table, run.records[table]});
    // A school with long codes has one per element.
    report.renamedCodes.reserve(static_cast<std::size_t>(
        std::count_if(run.findings.begin(), run.findings.end(),
                      [](const Finding& f) { return f.what == Finding::What::Renamed; })));
    for (const Finding& f : run.findings)
        if (f.what == Finding::What::Renamed)
            report.renamedCodes.push_back({f.table, f.code, f.storedCode});
    report.findings = std::move(run.findings);
    report.workingSet = std::move(run.workingSet);
    report.L1 = run.L1;
    report.L2 = run.L2;
    report.L3 = run.L3;
    report.usedShortCodes = std::move(run.usedShortCodes);
    report.seenLongCodes = std::move(run.seenLongCodes);
    return report;
}

// The comparison is said beside a check or a finished run and stops neither: what stands in its
// way (a table the product holds, a damaged file) is said in its place.
template <class Compare>
TableChanges changesOrWhy(const Compare& compare) {
    try {
        return compare();
    } catch (const Error& error) {
        TableChanges changes;
        changes.unavailable = error.what();
        return changes;
    }
}

}  // namespace

bool stopsTheRun(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.kind == Finding::Kind::Error; });
}

bool hasInput(const fs::path& centreFile) { return store::isFile(centreFile); }

ConversionReport convert(const fs::path& centreFile, const fs::path& workDb,
                         const std::function<void()>& started) {
    store::CentreDocument centre;
    const store::ParseResult parsed = centre.load(centreFile);
    if (const auto refusal = store::notACentreFile(centre, parsed, centreFile))
        throw Error(*refusal);
    if (started) started();
    // Every run writes the whole ASIGNOMT afresh, so it starts with no code used or seen.
    RunData run;
    noteHiddenUtf8(run, parsed);
    // Another program may hold the courses table, or it may not be deletable: then it stays,
    // without a message, beside the tables written.
    store::TableSwap swap(workDb, work_tables::writtenTables(), {work_tables::kRemovedTable});
    runSteps(run, centre, swap.folder());
    swap.commit();
    ConversionReport report = reportOf(run);
    report.earlierTables = swap.keptCopy();
    report.repaired = swap.repaired();
    if (!report.earlierTables.empty()) {
        report.changes =
            changesOrWhy([&] { return compareTables(report.earlierTables, workDb, workDb); });
    }
    return report;
}

ConversionReport check(const fs::path& centreFile, const fs::path& workDb) {
    store::CentreDocument centre;
    const store::ParseResult parsed = centre.load(centreFile);
    if (const auto refusal = store::notACentreFile(centre, parsed, centreFile)) {
        ConversionReport report;
        const store::Node root = centre.documentElement();
        report.findings.push_back({Finding::Kind::Error, Finding::What::NotACentreFile, "", "", "",
                                   "", "", root ? root.line() : parsed.line, *refusal});
        return report;
    }
    RunData run;
    run.collectErrors = true;
    noteHiddenUtf8(run, parsed);
    const store::ScratchTables scratch;
    runSteps(run, centre, scratch.folder());
    ConversionReport report = reportOf(run);
    if (!workDb.empty()) {
        report.changes = changesOrWhy([&] {
            report.repaired = store::repairWorkDb(workDb);
            return compareTables(workDb, scratch.folder(), workDb);
        });
    }
    return report;
}

}  // namespace lindavex::toworkdb
