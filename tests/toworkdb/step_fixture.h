#pragma once
// A fixture for the steps of the first action: a centre document loaded from text written to a
// scratch folder, a run state, a scratch work folder, and the tables read back as rows of texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/codepage.h"
#include "store/convert.h"
#include "store/dbase/table.h"
#include "store/xml/centre_document.h"
#include "support/scratch_dir.h"
#include "toworkdb/steps.h"

namespace lindavex::testing {

// One record: the fields' texts in column order (UTF-8). Logical fields read "true" or "false",
// numbers their plain decimal form, and unset fields empty text.
using Row = std::vector<std::string>;

// The text of a centre file whose root holds `body` (UTF-8).
inline std::string centreXml(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Centro Codigo=\"38000001\">" +
           std::string(body) + "</Centro>\n";
}

class StepFixture : public ::testing::Test {
  protected:
    StepFixture() { std::filesystem::create_directories(workDir); }

    // Writes the file text as it stands and loads it as the run's centre document.
    void loadCentreText(std::string_view fileText, const std::string& name = "centro.xml") {
        const auto path = scratch / name;
        std::ofstream(path, std::ios::binary) << fileText;
        document = std::make_shared<store::CentreDocument>();
        (void)document->load(path);
    }
    // The same for a document whose root holds `body`.
    void loadCentre(std::string_view body) { loadCentreText(centreXml(body)); }

    // Runs one step over the loaded document with the work folder as its table folder.
    template <class Step>
    void run(Step step) {
        toworkdb::StepContext ctx{state, *document, workDir};
        step(ctx);
    }

    // Every record of a table of the work folder, in natural order.
    std::vector<Row> rows(std::string_view table) const {
        auto t = store::Table::open(workDir, table, store::Table::Mode::Shared);
        const auto fields = t.fields();
        std::vector<Row> out;
        for (t.first(); !t.eof(); t.next()) {
            Row row;
            for (const auto& f : fields) row.push_back(fieldText(t, f));
            out.push_back(std::move(row));
        }
        return out;
    }

    // One field of every record, in natural order.
    std::vector<std::string> column(std::string_view table, std::string_view field) const {
        auto t = store::Table::open(workDir, table, store::Table::Mode::Shared);
        std::vector<std::string> out;
        for (const auto& f : t.fields()) {
            if (f.name != field) continue;
            for (t.first(); !t.eof(); t.next()) out.push_back(fieldText(t, f));
            return out;
        }
        ADD_FAILURE() << table << " has no field " << field;
        return out;
    }

    static std::string fieldText(const store::Table& t, const store::FieldDef& f) {
        switch (f.type) {
            case store::FieldType::Logical: {
                const auto v = t.asLogical(f.name);
                return v ? (*v ? "true" : "false") : "";
            }
            case store::FieldType::Integer: {
                const auto v = t.asInteger(f.name);
                return v ? std::to_string(*v) : "";
            }
            case store::FieldType::Float: {
                const auto v = t.asFloat(f.name);
                return v ? convert::plainDecimal(*v) : "";
            }
            case store::FieldType::Text:
                break;
        }
        return codepage::toUtf8(t.asText(f.name));
    }

    ScratchDir scratch;
    std::filesystem::path workDir = scratch / "WTEMP";
    toworkdb::RunData state;  // what the run carries between steps
    std::shared_ptr<store::CentreDocument> document;
};

}  // namespace lindavex::testing
