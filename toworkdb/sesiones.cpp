// ExportarSesiones: the grid of days and periods (DIASHORAST), the count of periods per length
// (COUNTSES) and the leading session lengths L1..L3.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/codepage.h"
#include "store/convert.h"
#include "store/days.h"
#include "store/dbase/table.h"
#include "store/error.h"
#include "store/report.h"
#include "store/work_tables.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {
namespace {

// Day names as the tables hold them (code page text), for days 1 to 7.
const std::string& dayName(std::int32_t day) {
    static const std::array<std::string, 7> names = [] {
        std::array<std::string, 7> converted;
        for (std::int32_t d = 1; d <= 7; ++d)
            converted[static_cast<std::size_t>(d) - 1] = codepage::fromUtf8(days::nameOf(d));
        return converted;
    }();
    return names.at(static_cast<std::size_t>(day - 1));
}

// Positions counted from 1, as in a period entry's layout; shorter entries give what there is.
std::string_view piece(std::string_view entry, std::size_t from, std::size_t count) {
    if (from - 1 >= entry.size()) return {};
    return entry.substr(from - 1, count);
}

// A period entry and the session it comes from, as a school finds it in its file.
struct Period {
    std::string entry;
    std::string session;  // UTF-8
    store::Node element;
};

// A period entry: day number, start, end, a blank, then "start-end" for display.
// 108:0008:55 08:00-08:55 is Monday 08:00 to 08:55.
std::vector<Period> periodsOf(StepContext& ctx) {
    std::vector<Period> periods;
    std::size_t number = 0;
    const store::AttributeName diaName = ctx.doc.attributeName("Dia");
    const store::AttributeName inicioName = ctx.doc.attributeName("HoraInicio");
    const store::AttributeName finName = ctx.doc.attributeName("HoraFin");
    for (const store::Node& sesion : ctx.doc.selectNodes("/Centro/Sesiones/Sesion")) {
        ++number;
        const std::string dia = sesion.attribute(diaName);
        // A first character that is no day letter (lower case included) names no day.
        const std::int32_t day = dia.empty() ? 0 : days::numberOf(dia.front());
        if (day == 0) {
            ctx.note(Finding::Kind::Change, Finding::What::NoRow, sesion, work_tables::kDiashorast,
                     dia, "", "",
                     dia.empty() ? "la sesión no tiene día; no tendrá fila en DIASHORAST"
                                 : "«" + report::shown(dia.substr(0, 1)) +
                                       "» no es una letra de día (L, M, X, J, V, S, D); la sesión "
                                       "no tendrá fila en DIASHORAST");
            continue;
        }
        const std::string start = sesion.attribute(inicioName);
        const std::string end = sesion.attribute(finName);
        std::string entry;
        entry.reserve(1 + 2 * (start.size() + end.size()) + 2);
        entry += static_cast<char>('0' + day);
        entry += start;
        entry += end;
        entry += ' ';
        entry += start;
        entry += '-';
        entry += end;
        periods.push_back({std::move(entry),
                           "Sesión " + std::to_string(number) + " del archivo: Dia=\"" +
                               codepage::toUtf8(dia) + "\" HoraInicio=\"" +
                               codepage::toUtf8(start) + "\" HoraFin=\"" + codepage::toUtf8(end) +
                               "\"",
                           sesion});
    }
    // Ascending by text, duplicates kept: by day, then start, then end for well-formed times.
    std::stable_sort(periods.begin(), periods.end(),
                     [](const Period& a, const Period& b) { return a.entry < b.entry; });
    return periods;
}

std::int32_t minuteOfDay(std::string_view entry, std::size_t hourAt) {
    return 60 * convert::toIntWithoutBlanks(piece(entry, hourAt, 2)) +
           convert::toIntWithoutBlanks(piece(entry, hourAt + 3, 2));
}

}  // namespace

void ExportarSesiones(StepContext& ctx) {
    RunData& state = ctx.run;
    store::Table periods =
        store::Table::create(ctx.dir, work_tables::kDiashorast, work_tables::diashorast());
    const std::vector<Period> entries = periodsOf(ctx);
    state.workingSet.clear();
    for (const Period& p : entries) state.workingSet.push_back(p.entry);

    // Lengths in the order first met, with their counts (the COUNTSES records).
    std::vector<std::pair<std::string, std::int32_t>> lengths;
    std::unordered_map<std::string, std::size_t> lengthIndex;

    // DIASHORAST's fields, named once for all its rows.
    const store::Table::Column dihoField = periods.column(field::kDiho);
    const store::Table::Column diaField = periods.column(field::kDia);
    const store::Table::Column textodiaField = periods.column(field::kTextodia);
    const store::Table::Column horaField = periods.column(field::kHora);
    const store::Table::Column textohorField = periods.column(field::kTextohor);
    const store::Table::Column horadesdeField = periods.column(field::kHoradesde);
    const store::Table::Column horahastaField = periods.column(field::kHorahasta);
    const store::Table::Column minutosField = periods.column(field::kMinutos);
    const store::Table::Column marcoField = periods.column(field::kMarco);

    std::int32_t period = 0;
    std::int32_t currentDay = -1;
    for (const auto& [entry, session, element] : entries) {
        std::int32_t start = 0;
        std::int32_t end = 0;
        try {
            start = minuteOfDay(entry, 2);
            end = minuteOfDay(entry, 7);
        } catch (const Error& error) {
            // The conversion's own text first; then which session, so that it can be found.
            // Checking goes on without the session.
            ctx.fail(Error(std::string(error.what()) + "\n" + session), element,
                     element.attribute("Dia"), "");
            continue;
        }
        const std::int32_t day = convert::toInt(piece(entry, 1, 1));
        if (day != currentDay) {
            period = 0;
            currentDay = day;
        }
        ++period;
        const std::string periodText = std::to_string(period);
        const std::string minutes = std::to_string(end - start);

        periods.append();
        periods.setText(dihoField, std::string(piece(entry, 1, 1)) + periodText);
        periods.setText(diaField, piece(entry, 1, 1));
        periods.setText(textodiaField, dayName(day));
        periods.setText(horaField, periodText);
        periods.setText(textohorField, periodText + "-" + std::string(piece(entry, 13, 11)));
        periods.setText(horadesdeField, piece(entry, 2, 5));
        periods.setText(horahastaField, piece(entry, 7, 5));
        periods.setText(minutosField, minutes);
        periods.setText(marcoField, "0");
        periods.post();

        // Counted as the stored MINUTOS text, which is what COUNTSES matches.
        const std::string stored = minutes.substr(0, 8);
        auto [it, added] = lengthIndex.try_emplace(stored, lengths.size());
        if (added) lengths.emplace_back(stored, 0);
        ++lengths[it->second].second;
    }
    ctx.close(periods);

    state.L1 = state.L2 = state.L3 = 0;
    store::Table counts = store::Table::create(
        ctx.dir, work_tables::kCountses, work_tables::countses(), work_tables::countsesIndexes());
    for (const auto& [duration, sessions] : lengths) {
        counts.append();
        counts.setText(field::kDuracion, duration);
        counts.setInteger(field::kNses, sessions);
        counts.post();
    }
    ctx.close(counts);

    std::int32_t* leading[] = {&state.L1, &state.L2, &state.L3};
    for (std::size_t i = 0; i < 3 && i < lengths.size(); ++i)
        *leading[i] = convert::toInt(lengths[i].first);
}

}  // namespace lindavex::toworkdb
