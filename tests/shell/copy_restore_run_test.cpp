// The window's "Copias…" button without a window: the kept copies listed, the chosen one put back
// after a question, or nothing changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shell/controller.h"
#include "store/workdb/table_copies.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/recording_ui.h"
#include "support/scratch_dir.h"

namespace lindavex::shell {
namespace {
namespace fs = std::filesystem;
using testing::errorText;
using testing::snapshot;
using testing::without;

// Picks a copy by its name from the list it is shown, and answers the question as told.
struct CopiesUi : testing::RecordingUi {
    std::optional<std::string> pick;
    bool answer = false;
    std::vector<std::vector<store::TableCopy>> lists;
    std::vector<std::string> questions;

    std::optional<std::size_t> chooseCopy(const std::vector<store::TableCopy>& copies) override {
        lists.push_back(copies);
        for (std::size_t i = 0; i < copies.size(); ++i)
            if (pick && copies[i].name == *pick) return i;
        return std::nullopt;
    }
    bool confirm(const std::string& question) override {
        questions.push_back(question);
        return answer;
    }
};

TEST(CopyRestoreRun, ListsAsksAndRestoresOrChangesNothing) {
    const fs::path corpus = fs::path(LINDAVEX_SOURCE_DIR) / "fuzz/corpus/centre_document";
    const fs::path example = fs::path(LINDAVEX_SOURCE_DIR) / "examples/centro.xml";
    const std::string damagedName = "2001-01-01_000001";
    enum class Pick { None, Sound, Damaged };
    const struct {
        const char* what;
        bool copies;
        Pick pick;
        bool answer;
        bool restored;
        const char* error;  // part of the error the run stops with
    } cases[] = {
        {"no copies", false, Pick::None, false, false, nullptr},
        {"cancelled at the list", true, Pick::None, true, false, nullptr},
        {"no at the question", true, Pick::Sound, false, false, nullptr},
        {"a sound copy", true, Pick::Sound, true, true, nullptr},
        {"a damaged copy", true, Pick::Damaged, true, false, "La copia está dañada"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::ScratchDir scratch;
        RunState state;
        state.workDb = scratch / "WTEMP";
        fs::create_directories(state.workDb);
        const fs::path copies = state.workDb / store::kCopiesFolder;
        std::map<std::string, std::string> smallTables;
        std::string soundName;
        if (c.copies) {
            // The second run keeps the first run's tables as a copy; one of them is then cut.
            testing::RecordingUi runs;
            runs.dialogAnswers = {corpus / "small.xml", example};
            runConversion(state, runs);
            smallTables = without(snapshot(state.workDb), store::kCopiesFolder);
            runConversion(state, runs);
            soundName = fs::directory_iterator(copies)->path().filename().string();
            fs::copy(copies / soundName, copies / damagedName);
            fs::resize_file(copies / damagedName / "ASIGT.DBF",
                            fs::file_size(copies / damagedName / "ASIGT.DBF") - 100);
        }
        state.completionStatus = 0;
        const auto before = snapshot(state.workDb);
        CopiesUi ui;
        if (c.pick != Pick::None) ui.pick = c.pick == Pick::Sound ? soundName : damagedName;
        ui.answer = c.answer;
        std::optional<store::RestoredCopy> restored;
        const std::string error = errorText([&] { restored = runCopyRestore(state, ui); });

        EXPECT_EQ(error.find(c.error ? c.error : "(no error)"), 0U) << error;
        EXPECT_EQ(state.completionStatus, 0);
        if (!c.copies) {
            EXPECT_TRUE(ui.lists.empty());
            EXPECT_EQ(ui.messages, std::vector<std::string>{"No hay copias de las tablas en " +
                                                            utf8Path(state.workDb)});
            continue;
        }
        // Both copies are listed; the damaged one is marked.
        ASSERT_EQ(ui.lists.size(), 1U);
        ASSERT_EQ(ui.lists[0].size(), 2U);
        for (const store::TableCopy& copy : ui.lists[0])
            EXPECT_EQ(copy.problems, copy.name == damagedName
                                         ? std::vector<std::string>{"ASIGT.DBF cortada"}
                                         : std::vector<std::string>{});
        // Asked only for a sound copy, saying what it replaces.
        EXPECT_EQ(ui.questions.size(), c.pick == Pick::Sound ? 1U : 0U);
        if (!ui.questions.empty()) {
            const std::string& question = ui.questions[0];
            for (const std::string& part :
                 {"¿Restaurar la copia " + soundName + " (7 tablas, ", utf8Path(state.workDb),
                  std::string("se guardan antes como una copia nueva"),
                  std::string("se quitan las tablas que la copia no tiene: CURSOST.")})
                EXPECT_NE(question.find(part), std::string::npos) << part << '\n' << question;
        }
        EXPECT_EQ(restored.has_value(), c.restored);
        if (!c.restored) {
            EXPECT_EQ(snapshot(state.workDb), before);
            EXPECT_TRUE(ui.messages.empty());
            continue;
        }
        // The tables are the copy's, what they replaced is a new copy, and the end is said.
        EXPECT_EQ(without(snapshot(state.workDb), store::kCopiesFolder), smallTables);
        EXPECT_EQ(store::tableCopies(state.workDb, store::restoredWorkTables()).size(), 3U);
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Proceso finalizado"});
        EXPECT_EQ(ui.details[0].find("Copia restaurada: " + soundName + "\nTablas anteriores"), 0U)
            << ui.details[0];
        EXPECT_NE(ui.details[0].find(utf8Path(restored->keptCopy)), std::string::npos);
        EXPECT_EQ(ui.cursorChanges, (std::vector<bool>{true, false}));
    }
}

}  // namespace
}  // namespace lindavex::shell
