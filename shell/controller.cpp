#include "shell/controller.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "store/error.h"
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

void repairAtStart(const RunState& state, UserInterface& ui) {
    try {
        if (const std::string repaired = store::repairWorkDb(state.workDb); !repaired.empty())
            ui.showMessage(repaired);
    } catch (const Error& error) {
        ui.showMessage(error.what());
    }
}

}  // namespace lindavex::shell
