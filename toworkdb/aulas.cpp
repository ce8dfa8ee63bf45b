// AULAT: the rooms, with the centre's own room code beside the product's abbreviation.
#include <string>

#include "store/table.h"
#include "store/work_tables.h"
#include "toworkdb/codes.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {

void ExportarAulas(StepContext& ctx) {
    store::recreateTable(ctx.dir, "AULAT", store::work_tables::aulat());
    WrittenCodes codes(WrittenCodes::Stored::Shortened);
    auto table = store::Table::open(ctx.dir, "AULAT", store::Table::Mode::Shared);
    for (const auto& room : ctx.doc.selectNodes("/Centro/Aulas/Aula")) {
        const std::string name = room.attribute("Denominacion");
        const std::string centreCode = room.attribute("Codigo");
        // A room without a code is known by its name; the cut is not trimmed again.
        const std::string code =
            centreCode.empty() ? std::string(firstChars(name, kCodeWidth)) : centreCode;
        table.append();
        table.setText("ABREV", codes.take(code));
        table.setText("NOMBRE", name);
        // The result export writes this back as the room's code, so it is the code as read.
        table.setText("ABREV_GESTION", centreCode);
        table.post();
    }
    table.close();
}

}  // namespace lindavex::toworkdb
