// AULAT: the rooms, with the centre's own room code beside the product's abbreviation.
#include <string>
#include <string_view>
#include <vector>

#include "store/codepage.h"
#include "store/dbase/table.h"
#include "store/report.h"
#include "store/work_tables.h"
#include "toworkdb/codes.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {
namespace {

// AULAT.ABREV_GESTION: the room's code in the centre file.
constexpr std::size_t kRoomCodeWidth = 20;

}  // namespace

void ExportarAulas(StepContext& ctx) {
    auto table = store::Table::create(ctx.dir, work_tables::kAulat, work_tables::aulat());
    const auto rooms = ctx.doc.selectNodes("/Centro/Aulas/Aula");
    const store::AttributeName denominacionName = ctx.doc.attributeName("Denominacion");
    std::vector<std::string> codes;
    codes.reserve(rooms.size());
    std::string codeScratch;
    std::string nameScratch;
    for (const auto& room : rooms) {
        const std::string_view centreCode = room.attributeView(ctx.codigo, codeScratch);
        // A room without a code is known by its name; the cut is not trimmed again.
        codes.emplace_back(
            centreCode.empty()
                ? firstChars(room.attributeView(denominacionName, nameScratch), kCodeWidth)
                : centreCode);
    }
    const std::vector<std::string> abbreviations = writtenCodes(codes, StoredForm::Shortened);

    const store::Table::Column abrevField = table.column(field::kAbrev);
    const store::Table::Column nombreField = table.column(field::kNombre);
    const store::Table::Column abrevGestionField = table.column(field::kAbrevGestion);
    for (std::size_t i = 0; i < rooms.size(); ++i) {
        const store::Node& room = rooms[i];
        const std::string name = room.attribute(denominacionName);
        const std::string_view centreCode = room.attributeView(ctx.codigo, codeScratch);
        if (centreCode.empty()) {
            ctx.note(Finding::Kind::Change, Finding::What::RoomWithoutCode, room,
                     work_tables::kAulat, std::string(centreCode), abbreviations[i], name,
                     "el aula no tiene código; AULAT la guarda como «" +
                         report::shown(abbreviations[i]) + "», tomado de su nombre");
        }
        table.append();
        table.setText(abrevField, abbreviations[i]);
        // The timetable export gives a room back by ABREV_GESTION, the code as read.
        ctx.noteCode(work_tables::kAulat, room, codes[i], abbreviations[i],
                     centreCode.empty() ? codes[i] : asStored(centreCode, kRoomCodeWidth), name);
        table.setText(nombreField, name);
        // The result export writes this back as the room's code, so it is the code as read.
        table.setText(abrevGestionField, centreCode);
        table.post();
    }
    ctx.close(table);
}

}  // namespace lindavex::toworkdb
