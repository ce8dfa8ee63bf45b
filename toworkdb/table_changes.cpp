// The work tables set against the ones a run replaces or would replace.
#include "toworkdb/table_changes.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "store/codepage.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/report.h"
#include "store/work_tables.h"
#include "store/workdb/workdb.h"

namespace lindavex::toworkdb {
namespace {

namespace fs = std::filesystem;
namespace work_tables = store::work_tables;
namespace field = store::work_tables::field;

using Row = std::vector<std::string>;

// A table's rows as text, in natural order, with its fields in schema order; a field that an
// older table lacks reads as empty.
struct Rows {
    const std::vector<store::FieldDef>* fields = nullptr;
    std::vector<Row> rows;
    bool present = false;

    std::size_t indexOf(std::string_view name) const {
        for (std::size_t i = 0; i < fields->size(); ++i)
            if ((*fields)[i].name == name) return i;
        return fields->size();
    }
};

Rows readRows(const fs::path& dbf, const std::vector<store::FieldDef>& fields) {
    Rows result{&fields, {}, false};
    if (!store::isFile(dbf)) return result;
    result.present = true;
    store::Table t = store::Table::openFile(dbf, store::Table::Mode::Shared);
    std::vector<std::optional<store::Table::Column>> columns;
    for (const store::FieldDef& f : fields)
        columns.push_back(t.hasField(f.name) ? std::optional(t.column(f.name)) : std::nullopt);
    result.rows.reserve(t.recordCount());
    for (t.first(); !t.eof(); t.next()) {
        Row& row = result.rows.emplace_back();
        row.reserve(columns.size());
        for (const auto& column : columns) row.push_back(column ? t.asText(*column) : "");
    }
    t.close();
    return result;
}

// Whether two table files hold the same table: the same bytes but for the date of the last
// change in the header (bytes 1 to 3). A table that cannot be read is not the same.
bool sameTableFile(const fs::path& a, const fs::path& b) {
    constexpr std::size_t kDateStart = 1;
    constexpr std::size_t kDateEnd = 4;
    bool same = false;
    std::uint64_t size = 0;
    return store::file_io::sameBytesOutside(a, b, kDateStart, kDateEnd, same, size) == 0 && same &&
           size > kDateEnd;
}

// What element a row stands for, as SOLUC's codes reach it: `same` says whether two rows are
// one element, `shown` names it for a person.
struct Element {
    std::string same;
    std::string shown;
};
using ElementOf = std::function<Element(const Rows&, const Row&)>;

// How each written table is compared: its key and, for the tables SOLUC names by that key, the
// element a row stands for. Where a table keeps the centre's code, that code is the element;
// the teachers table keeps only the name, and a group is known by its shift, teaching, course
// and letter, which a new name leaves alone.
struct TableSpec {
    const char* table;
    const std::vector<store::FieldDef>& (*fields)();
    std::vector<const char*> key;
    ElementOf element;  // none for the tables SOLUC does not name
};

std::string fieldOf(const Rows& rows, const Row& row, std::string_view name) {
    const std::size_t i = rows.indexOf(name);
    return i < row.size() ? row[i] : std::string();
}

const std::vector<TableSpec>& specs() {
    static const std::vector<TableSpec> tables = {
        {work_tables::kAsignomt,
         &work_tables::asignomt,
         {field::kCod},
         [](const Rows& rs, const Row& r) {
             const std::string code = fieldOf(rs, r, field::kAbrevGestion);
             return Element{fieldOf(rs, r, field::kEstarea) + '\x1f' + code,
                            fieldOf(rs, r, field::kNombre) + " (" + code + ")"};
         }},
        {work_tables::kProft,
         &work_tables::proft,
         {field::kAbrev},
         [](const Rows& rs, const Row& r) {
             const std::string name = fieldOf(rs, r, field::kNombre);
             return Element{name, name};
         }},
        {work_tables::kAulat,
         &work_tables::aulat,
         {field::kAbrev},
         [](const Rows& rs, const Row& r) {
             const std::string code = fieldOf(rs, r, field::kAbrevGestion);
             const std::string name = fieldOf(rs, r, field::kNombre);
             if (code.empty()) return Element{"\x1f" + name, name};
             return Element{code, name + " (" + code + ")"};
         }},
        {work_tables::kGrupost,
         &work_tables::grupost,
         {field::kAbrev},
         [](const Rows& rs, const Row& r) {
             std::string same;
             for (const char* f : {field::kTurno, field::kNivel, field::kCurso, field::kGrupo})
                 same += fieldOf(rs, r, f) + '\x1f';
             const std::string name = fieldOf(rs, r, field::kDescrip);
             if (same.find_first_not_of('\x1f') == std::string::npos) same += name;
             return Element{same, name};
         }},
        {work_tables::kDiashorast,
         &work_tables::diashorast,
         {field::kDiho},
         [](const Rows& rs, const Row& r) {
             const std::string from = fieldOf(rs, r, field::kHoradesde);
             const std::string to = fieldOf(rs, r, field::kHorahasta);
             return Element{fieldOf(rs, r, field::kDia) + '\x1f' + from + '\x1f' + to,
                            fieldOf(rs, r, field::kTextodia) + " " + from + "-" + to};
         }},
        {work_tables::kCountses, &work_tables::countses, {field::kDuracion}, {}},
        {work_tables::kAsigt, &work_tables::asigt, {field::kCgrup, field::kCasig}, {}},
    };
    return tables;
}

std::string keyOf(const Rows& rows, const Row& row, const std::vector<const char*>& key) {
    std::string text;
    for (const char* name : key) {
        if (!text.empty()) text += " / ";
        text += fieldOf(rows, row, name);
    }
    return text;
}

// The element each code leads to: the first row in natural order holding it, as the result
// export's lookup finds it.
using Lookup = std::unordered_map<std::string, Element>;
Lookup lookupOf(const Rows& rows, const TableSpec& spec) {
    Lookup lookup;
    if (!spec.element) return lookup;
    for (const Row& row : rows.rows)
        lookup.try_emplace(fieldOf(rows, row, spec.key.front()), spec.element(rows, row));
    return lookup;
}

// Rows by key, a repeated key told apart by its place among the rows holding it.
void compareRows(const TableSpec& spec, const Rows& before, const Rows& after,
                 TableChanges& changes, TableDelta& delta) {
    std::unordered_map<std::string, std::vector<std::size_t>> beforeByKey;
    for (std::size_t i = 0; i < before.rows.size(); ++i)
        beforeByKey[keyOf(before, before.rows[i], spec.key)].push_back(i);
    std::vector<bool> matched(before.rows.size(), false);
    std::unordered_map<std::string, std::size_t> seen;
    for (const Row& row : after.rows) {
        const std::string key = keyOf(after, row, spec.key);
        const std::size_t nth = seen[key]++;
        const auto found = beforeByKey.find(key);
        if (found == beforeByKey.end() || nth >= found->second.size()) {
            ++delta.comes;
            changes.rows.push_back({RowChange::Kind::Comes, spec.table, key, {}});
            continue;
        }
        const std::size_t b = found->second[nth];
        matched[b] = true;
        // Both sides hold their fields in the schema's order.
        std::string differing;
        const Row& old = before.rows[b];
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (old[i] == row[i]) continue;
            if (!differing.empty()) differing += ", ";
            differing += (*after.fields)[i].name + " " + report::quoted(old[i]) + " → " +
                         report::quoted(row[i]);
        }
        if (differing.empty()) continue;
        ++delta.changes;
        changes.rows.push_back({RowChange::Kind::Changes, spec.table, key, differing});
    }
    for (std::size_t b = 0; b < before.rows.size(); ++b) {
        if (matched[b]) continue;
        ++delta.goes;
        changes.rows.push_back(
            {RowChange::Kind::Goes, spec.table, keyOf(before, before.rows[b], spec.key), {}});
    }
}

// A SOLUC field and the table its code is looked up in, as the result export looks them up.
struct SolucLink {
    const char* field;
    const char* table;
    const char* shown;  // in the listing: the period is found by two fields
};

void compareSoluc(const fs::path& solucDir, const std::map<std::string, Lookup>& before,
                  const std::map<std::string, Lookup>& after, TableChanges& changes) {
    const fs::path dbf = store::findDbf(solucDir, work_tables::kSoluc);
    if (!store::isFile(dbf)) return;
    store::Table soluc = store::Table::openFile(dbf, store::Table::Mode::Shared);
    const std::vector<SolucLink> links = {{field::kAsig, work_tables::kAsignomt, "ASIG"},
                                          {field::kCodgrupo, work_tables::kGrupost, "CODGRUPO"},
                                          {field::kProf, work_tables::kProft, "PROF"},
                                          {field::kAula, work_tables::kAulat, "AULA"},
                                          {field::kDia, work_tables::kDiashorast, "DIA+HORA"}};
    std::vector<store::Table::Column> columns;
    for (const SolucLink& link : links) columns.push_back(soluc.column(link.field));
    const store::Table::Column tarea = soluc.column(field::kTarea);
    const store::Table::Column hora = soluc.column(field::kHora);
    std::map<std::pair<std::size_t, std::string>, std::vector<std::size_t>> touched;
    for (soluc.first(); !soluc.eof(); soluc.next()) {
        const std::size_t record = soluc.position() + 1;
        bool touches = false;
        const std::string asig = soluc.asText(columns[0]);
        const bool taskRow = asig == soluc.asText(tarea);
        for (std::size_t i = 0; i < links.size(); ++i) {
            const SolucLink& link = links[i];
            if (taskRow && link.table == work_tables::kGrupost) continue;
            // A table written as it was leads every code where it led.
            if (!before.contains(link.table)) continue;
            std::string code = i == 0 ? asig : soluc.asText(columns[i]);
            // The period is looked up by the day's text followed by the period's.
            if (link.table == work_tables::kDiashorast)
                code = std::string(codepage::trim(code)) +
                       std::string(codepage::trim(soluc.asText(hora)));
            const Lookup& was = before.at(link.table);
            const Lookup& will = after.at(link.table);
            const auto old = was.find(code);
            const auto now = will.find(code);
            bool differs = (old == was.end()) != (now == will.end());
            // A task row's subject is only looked for, never written.
            if (!differs && old != was.end() && !(taskRow && i == 0))
                differs = old->second.same != now->second.same;
            if (!differs) continue;
            touches = true;
            touched[{i, code}].push_back(record);
        }
        if (touches) ++changes.solucRecords;
    }
    soluc.close();
    for (auto& [where, records] : touched)
        changes.soluc.push_back({links[where.first].shown, where.second, std::move(records)});
}

}  // namespace

TableChanges compareTables(const fs::path& before, const fs::path& after,
                           const fs::path& solucDir) {
    TableChanges changes;
    std::vector<std::pair<Rows, Rows>> tables;
    std::vector<bool> identical;
    // Each folder listed once for all its tables; one that cannot be read finds its tables
    // under their own names, which then fail to open as they would.
    std::error_code unreadable;
    const store::FolderNames beforeNames(before, unreadable);
    const store::FolderNames afterNames(after, unreadable);
    for (const TableSpec& spec : specs()) {
        const fs::path old = store::findDbf(beforeNames, spec.table);
        const fs::path now = store::findDbf(afterNames, spec.table);
        // A run over the same centre file writes the same tables: nothing to read row by row.
        identical.push_back(sameTableFile(old, now));
        if (identical.back()) {
            tables.emplace_back(Rows{&spec.fields(), {}, true}, Rows{&spec.fields(), {}, true});
        } else {
            tables.emplace_back(readRows(old, spec.fields()), readRows(now, spec.fields()));
        }
        changes.compared = changes.compared || tables.back().first.present;
    }
    if (!changes.compared) return changes;

    std::map<std::string, Lookup> lookupsBefore;
    std::map<std::string, Lookup> lookupsAfter;
    bool anyCodeMoves = false;  // SOLUC is only read when some code leads elsewhere
    for (std::size_t t = 0; t < specs().size(); ++t) {
        const TableSpec& spec = specs()[t];
        const auto& [old, now] = tables[t];
        TableDelta& delta = changes.tables.emplace_back(TableDelta{spec.table});
        if (identical[t]) continue;
        compareRows(spec, old, now, changes, delta);
        if (!spec.element) continue;
        Lookup was = lookupOf(old, spec);
        Lookup will = lookupOf(now, spec);
        // In the old table's order, so that the list reads as the table does; each code once.
        std::unordered_set<std::string> listed;
        for (const Row& row : old.rows) {
            const std::string code = fieldOf(old, row, spec.key.front());
            if (!listed.insert(code).second) continue;
            const Element& current = was.at(code);
            const auto n = will.find(code);
            anyCodeMoves = anyCodeMoves || n == will.end() || current.same != n->second.same;
            if (n == will.end() || current.same == n->second.same) continue;
            changes.meaning.push_back({spec.table, code, current.shown, n->second.shown});
            ++delta.meaning;
        }
        anyCodeMoves = anyCodeMoves || will.size() != listed.size();
        lookupsBefore.emplace(spec.table, std::move(was));
        lookupsAfter.emplace(spec.table, std::move(will));
    }
    if (anyCodeMoves) compareSoluc(solucDir, lookupsBefore, lookupsAfter, changes);
    return changes;
}

namespace {

// "3, 7, 12", the first `limit` numbers and how many more.
std::string recordList(const std::vector<std::size_t>& records, std::size_t limit) {
    std::string text;
    const std::size_t shown = std::min(records.size(), limit);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(records[i]);
    }
    if (shown < records.size()) text += " y " + std::to_string(records.size() - shown) + " más";
    return text;
}

std::string countOf(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string named(const std::string& table, const std::string& code) {
    return table + " " + report::quoted(code);
}

constexpr std::size_t kAllRecords = static_cast<std::size_t>(-1);
constexpr std::size_t kRecordsInSummary = 10;

std::vector<ChangeLine> linesOf(const TableChanges& changes, Tense tense,
                                std::size_t recordsShown) {
    std::vector<ChangeLine> lines;
    const bool would = tense == Tense::Would;
    for (const MeaningChange& m : changes.meaning) {
        lines.push_back({ChangeLine::Kind::Meaning, m.table, m.code,
                         (would ? "ahora " : "era ") + report::shown(m.now) +
                             (would ? "; pasaría a ser " : "; ahora es ") +
                             report::shown(m.after)});
    }
    for (const SolucTouch& t : changes.soluc) {
        lines.push_back({ChangeLine::Kind::Soluc, std::string(work_tables::kSoluc) + "." + t.field,
                         t.code,
                         countOf(t.records.size(), "registro", "registros") + ": " +
                             recordList(t.records, recordsShown)});
    }
    for (const RowChange& r : changes.rows) {
        static constexpr ChangeLine::Kind kinds[] = {
            ChangeLine::Kind::Comes, ChangeLine::Kind::Goes, ChangeLine::Kind::Changes};
        lines.push_back({kinds[static_cast<int>(r.kind)], r.table, r.key, r.fields});
    }
    return lines;
}

std::string lineText(const ChangeLine& line) {
    std::string text = named(line.table, line.code);
    if (!line.message.empty()) text += ": " + line.message;
    return text;
}

// The listing, grouped; `rows` adds every row that comes, goes and changes.
std::string listing(const TableChanges& changes, Tense tense, bool rows) {
    if (!changes.unavailable.empty())
        return "No se pudo comparar con las tablas de trabajo: " + changes.unavailable + '\n';
    if (!changes.compared) return {};
    const bool would = tense == Tense::Would;
    // By ChangeLine::Kind, then the counts after the SOLUC records.
    std::vector<report::Group> groups = {
        {would ? "Códigos que cambiarían de significado" : "Códigos que cambiaron de significado",
         {}},
        {"SOLUC: " + countOf(changes.solucRecords, "registro", "registros") +
             (would ? " quedarían señalando a otro elemento o a ninguno; son clases que habría "
                      "que comprobar o volver a resolver"
                    : " señalan ahora a otro elemento o a ninguno; compruebe esas clases o "
                      "vuelva a resolver el horario"),
         {}},
        {would ? "Filas que vendrían" : "Filas nuevas", {}},
        {would ? "Filas que se irían" : "Filas quitadas", {}},
        {would ? "Filas que cambiarían" : "Filas cambiadas", {}},
    };
    for (const ChangeLine& line : linesOf(changes, tense, rows ? kAllRecords : kRecordsInSummary)) {
        const auto group = static_cast<std::size_t>(line.kind);
        if (group >= static_cast<std::size_t>(ChangeLine::Kind::Comes) && !rows) continue;
        groups[group].lines.push_back(lineText(line));
    }
    report::Group counts{
        would ? "Filas por tabla" : "Filas por tabla, frente a las tablas anteriores", {}};
    for (const TableDelta& d : changes.tables) {
        if (d.comes + d.goes + d.changes == 0) continue;
        std::string line = d.table + ": " + std::to_string(d.comes) + " nuevas, " +
                           std::to_string(d.goes) + " quitadas, " + std::to_string(d.changes) +
                           " cambiadas";
        if (d.meaning > 0)
            line +=
                ", " + countOf(d.meaning, "código cambia", "códigos cambian") + " de significado";
        counts.lines.push_back(std::move(line));
    }
    groups.insert(groups.begin() + 2, std::move(counts));
    std::string text = report::groupedText(groups);
    if (text.empty())
        text = would ? "Las tablas de trabajo quedarían como están.\n"
                     : "Las tablas de trabajo quedan como estaban.\n";
    return text;
}

}  // namespace

std::vector<ChangeLine> changeLines(const TableChanges& changes, Tense tense) {
    return linesOf(changes, tense, kAllRecords);
}

const char* kindName(ChangeLine::Kind kind) {
    switch (kind) {
        case ChangeLine::Kind::Meaning:
            return "significado";
        case ChangeLine::Kind::Soluc:
            return "solución";
        case ChangeLine::Kind::Comes:
            return "fila nueva";
        case ChangeLine::Kind::Goes:
            return "fila quitada";
        case ChangeLine::Kind::Changes:
            return "fila cambiada";
    }
    return "";
}

std::string changesText(const TableChanges& changes) {
    return listing(changes, Tense::Would, true);
}

std::string changesSummaryText(const TableChanges& changes) {
    return listing(changes, Tense::Did, false);
}

}  // namespace lindavex::toworkdb
