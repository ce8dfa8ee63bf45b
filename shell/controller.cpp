#include "shell/controller.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "store/dbase/dbf_format.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/texts.h"
#include "store/workdb/copy_texts.h"
#include "store/workdb/table_swap.h"
#include "toworkdb/findings.h"
#include "toxml/findings.h"

namespace lindavex::shell {
namespace fs = std::filesystem;
namespace {

// Missing input: the message, and embedded, the status -1 and the window closed.
void missing(RunState& state, UserInterface& ui, const char* message) {
    ui.showMessage(message);
    if (state.embedded()) {
        state.completionStatus = -1;
        ui.closeWindow();
    }
}

void finished(RunState& state, UserInterface& ui, const char* message,
              const std::string& details = {}) {
    state.completionStatus = 1;
    if (details.empty()) {
        ui.showMessage(message);
    } else {
        ui.showMessageWithDetails(message, details);
    }
    if (state.embedded()) ui.closeWindow();
}

}  // namespace

std::optional<toworkdb::ConversionReport> runConversion(RunState& state, UserInterface& ui) {
    std::error_code ec;
    if (std::optional<fs::path> chosen = ui.chooseXmlFile()) {
        // The dialog gives a full path; a relative one is made full here.
        state.xmlFileName = chosen->empty() ? *chosen : fs::absolute(*chosen, ec);
        if (ec) state.xmlFileName = *chosen;
    }
    if (!toworkdb::hasInput(state.xmlFileName)) {
        missing(state, ui, toworkdb::kMissingFileText);
        return std::nullopt;
    }

    // The wait cursor shows once the file is taken: a file that cannot be read, or is no centre
    // file, stops the run first.
    std::optional<WaitCursor> wait;
    toworkdb::ConversionReport report =
        toworkdb::convert(state.xmlFileName, state.workDb, [&] { wait.emplace(ui); });
    wait.reset();
    // The message stays as it is; where the earlier tables went, the codes stored otherwise and
    // what was left out go with it.
    finished(state, ui, toworkdb::kFinishedText, toworkdb::finishedDetailsText(report));
    return report;
}

std::optional<toxml::ExportReport> runResultExport(RunState& state, UserInterface& ui,
                                                   const toxml::LocalClock& clock) {
    ui.showMessage(toxml::kReminderText);
    if (auto chosen = ui.chooseXmlFile()) state.xmlFileName = *chosen;
    if (!toxml::hasInputs(state.xmlFileName, state.workDb)) {
        missing(state, ui, toxml::kMissingInputText);
        return std::nullopt;
    }
    std::optional<toxml::ExportReport> report;
    {
        const WaitCursor wait(ui);
        report = toxml::exportResult(state.xmlFileName, state.workDb, clock);
    }
    // The message stays as it is; what SOLUC lost on the way goes with it.
    const std::string repaired = report->repaired.empty() ? "" : report->repaired + '\n';
    finished(state, ui, toxml::kFinishedText, repaired + toxml::findingsText(*report));
    return report;
}

std::string restoreQuestion(const fs::path& workDb, const store::TableCopy& copy) {
    // The tables as the restore counts them: one each, whatever spellings the copy holds.
    std::size_t held = 0;
    std::string lacking;
    for (const char* table : store::restoredWorkTables()) {
        const std::string file = store::dbfPath({}, table).string();
        bool found = false;
        for (const store::CopiedTable& copied : copy.tables)
            found = found || store::dbf::upperAscii(copied.file) == file;
        if (found) {
            ++held;
        } else {
            lacking += (lacking.empty() ? "" : ", ") + std::string(table);
        }
    }
    std::string question = "¿Restaurar la copia " + copy.name + " (" + std::to_string(held) +
                           (held == 1 ? " tabla" : " tablas");
    if (const auto records = store::copyRecords(copy))
        question += ", " + std::to_string(*records) + " registros";
    question += ")?\n\nSus tablas sustituyen a las que hay ahora en " + utf8Path(workDb) +
                ". Las de ahora se guardan antes como una copia nueva, así que se puede "
                "deshacer. SOLUC no cambia.";
    if (!lacking.empty())
        question += "\nSi están, se quitan las tablas que la copia no tiene: " + lacking + ".";
    return question;
}

std::optional<store::RestoredCopy> runCopyRestore(RunState& state, UserInterface& ui) {
    store::requireWorkDb(state.workDb);
    // The copies as they stand once what a stopped run left is put back.
    if (const std::string repaired = store::repairWorkDb(state.workDb); !repaired.empty())
        ui.showMessage(repaired);
    const std::vector<store::TableCopy> copies =
        store::tableCopies(state.workDb, store::restoredWorkTables());
    if (copies.empty()) {
        ui.showMessage(store::noCopiesText(state.workDb));
        return std::nullopt;
    }
    const std::optional<std::size_t> chosen = ui.chooseCopy(copies);
    if (!chosen || *chosen >= copies.size()) return std::nullopt;
    const store::TableCopy& copy = copies[*chosen];
    if (!copy.problems.empty()) throw store::damagedCopyError(copy.folder, copy.problems);
    if (!ui.confirm(restoreQuestion(state.workDb, copy))) return std::nullopt;

    std::optional<store::RestoredCopy> restored;
    {
        const WaitCursor wait(ui);
        restored = store::restoreTableCopy(state.workDb, copy.name, store::restoredWorkTables());
    }
    const std::string repaired = restored->repaired.empty() ? "" : restored->repaired + '\n';
    ui.showMessageWithDetails(kFinishedText, repaired + store::restoredCopyText(*restored) +
                                                 toworkdb::earlierTablesText(restored->keptCopy));
    return restored;
}

void repairAtStart(const RunState& state, UserInterface& ui) {
    try {
        if (const std::string repaired = store::repairWorkDb(state.workDb); !repaired.empty())
            ui.showMessage(repaired);
    } catch (const Error& error) {
        ui.showMessage(error.what());
    }
}

}  // namespace lindavex::shell
