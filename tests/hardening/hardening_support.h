#pragma once
// What the hardening tests share: file snapshots, table contents, the two centre files and
// the checks of the all-or-nothing promise.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/work_tables.h"
#include "store/xml/centre_document.h"
#include "support/files.h"
#include "toxml/solution_table.h"

namespace lindavex::testing {

namespace fs = std::filesystem;

// Makes a folder hold exactly the files of a snapshot.
inline void restore(const fs::path& dir, const std::map<std::string, std::string>& files) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& [name, bytes] : files) {
        if (bytes == "<folder>")
            fs::create_directories(dir / name);
        else
            writeBytes(dir / name, bytes);
    }
}

// A table's whole content as the engine reads it: every field of every record as text. Reading
// it fails (throws) on a torn file; the record count is checked against the file's size.
inline std::string tableContent(const fs::path& dir, const char* table) {
    store::Table t = store::Table::open(dir, table, store::Table::Mode::Shared);
    std::string content = std::to_string(t.recordCount()) + "\n";
    const auto fields = t.fields();
    for (t.first(); !t.eof(); t.next()) {
        for (const auto& field : fields) content += t.asText(field.name) + "|";
        content += "\n";
    }
    return content;
}

inline std::map<std::string, std::string> workTables(const fs::path& dir) {
    std::map<std::string, std::string> tables;
    for (const char* name : store::work_tables::writtenTables())
        tables[name] = tableContent(dir, name);
    return tables;
}

inline fs::path smallCentre() {
    return fs::path(LINDAVEX_SOURCE_DIR) / "fuzz/corpus/centre_document/small.xml";
}
inline fs::path exampleCentre() { return fs::path(LINDAVEX_SOURCE_DIR) / "examples/centro.xml"; }

// A solution made from the work tables written by the first action: subject rows over the
// first subjects, groups and slots, a task row, and a row skipped for its day 0.
inline void writeSolutionFromTables(const fs::path& workDb) {
    std::vector<std::string> subjects, groups;
    std::vector<std::pair<int, double>> slots;
    {
        store::Table t = store::Table::open(workDb, "ASIGNOMT", store::Table::Mode::Shared);
        for (t.first(); !t.eof() && subjects.size() < 4; t.next())
            subjects.push_back(t.asText("COD"));
        store::Table g = store::Table::open(workDb, "GRUPOST", store::Table::Mode::Shared);
        for (g.first(); !g.eof() && groups.size() < 4; g.next())
            groups.push_back(g.asText("ABREV"));
        store::Table d = store::Table::open(workDb, "DIASHORAST", store::Table::Mode::Shared);
        for (d.first(); !d.eof() && slots.size() < 4; d.next()) {
            const std::string diho = d.asText("DIHO");
            slots.emplace_back(diho[0] - '0', std::stod(diho.substr(1)));
        }
    }
    std::vector<Solution> rows;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& subject = subjects[i % subjects.size()];
        const auto [day, period] = slots[i % slots.size()];
        rows.push_back({subject, "", day, period, groups[i % groups.size()], "", ""});
    }
    rows.push_back({subjects[0], subjects[0], slots[0].first, slots[0].second, "X", "", ""});
    rows.push_back({subjects[0], "", 0, 1, groups[0], "", ""});
    writeSolutionTable(workDb, rows);
}

// A result file is complete and well-formed: it parses and holds its Centro and horario.
inline bool wellFormedResult(const fs::path& file) {
    store::CentreDocument doc;
    doc.load(file);
    return static_cast<bool>(doc.selectSingleNode("/Centro/horario"));
}

// A snapshot of the work database as the next command finds it: a run's folder left empty,
// where removing it failed, is removed by that command before anything else.
inline std::map<std::string, std::string> settled(std::map<std::string, std::string> files) {
    const auto run = files.find(".lindavex-run");
    if (run != files.end() && run->second == "<folder>" &&
        (std::next(run) == files.end() || !std::next(run)->first.starts_with(".lindavex-run/")))
        files.erase(run);
    return files;
}

// The hidden temporary files that writes beside a target use, and anything in a run's folder.
// A run's folder left empty, where removing it failed, is none: it holds nothing to undo and the
// next command removes it.
inline std::vector<std::string> strayTemporaries(const fs::path& dir) {
    std::vector<std::string> stray;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name == ".lindavex-run" && fs::is_empty(entry.path())) continue;
        if (name.starts_with(".")) stray.push_back(fs::relative(entry.path(), dir).string());
    }
    return stray;
}

}  // namespace lindavex::testing
