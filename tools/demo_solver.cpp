// lindavex-demo-solver: a stand-in for the Morvalen timetabling product, for demonstrations and
// tests only. It does not solve anything well: it places every session of the work tables that
// the first action wrote into a free period of its group, deterministically, and writes the
// result as the product's solution table SOLUC (a dBase III table, as the product keeps it).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "store/convert.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/files/platform.h"

namespace {

namespace fs = std::filesystem;
using lindavex::store::Table;

constexpr const char* kUsage =
    "Usage: lindavex-demo-solver WORKDB [--random-order] [--losses PERCENT]\n"
    "  A stand-in for the Morvalen timetabling product, for demonstrations and tests only.\n"
    "  Reads the work tables that `lindavex-cli exportar` wrote in the folder WORKDB\n"
    "  (ASIGT, ASIGNOMT, GRUPOST, PROFT, AULAT, DIASHORAST) and writes a plausible,\n"
    "  deterministic solution table SOLUC.DBF there: every session of ASIGT in a free period\n"
    "  of its group, with a teacher and a room, and one guard duty per teacher.\n"
    "  --random-order  the records shuffled, not grouped by assignment\n"
    "  --losses N      N % of the records made so that the second action cannot write them\n"
    "                  (day 0 or 9, period 0 or 99, unknown group or subject), and N/5 % more\n"
    "                  naming a teacher or room that the tables lack\n";

// ---------------------------------------------------------------------------------------------
// The solution table as the product writes it: dBase III, codes as C(10), day and period as
// N(2,0).

struct SolutionField {
    const char* name;
    char type;
    std::size_t length;
};

constexpr SolutionField kSolutionFields[] = {
    {"ASIG", 'C', 10},     {"TAREA", 'C', 10}, {"DIA", 'N', 2},  {"HORA", 'N', 2},
    {"CODGRUPO", 'C', 10}, {"PROF", 'C', 10},  {"AULA", 'C', 10}};

struct SolutionRow {
    std::string asig;
    std::string tarea;
    int dia = 0;
    int hora = 0;
    std::string codGrupo;
    std::string prof;
    std::string aula;
};

void putLittleEndian(std::string& out, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string fixedText(std::string_view value, std::size_t width) {
    std::string text(value.substr(0, width));
    text.resize(width, ' ');
    return text;
}

std::string rightAligned(int value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() > width) digits = std::string(width, '*');
    return std::string(width - digits.size(), ' ') + digits;
}

void writeSolution(const fs::path& file, const std::vector<SolutionRow>& rows) {
    const std::size_t fieldCount = std::size(kSolutionFields);
    const std::size_t headerLength = 32 + 32 * fieldCount + 1;
    std::size_t recordLength = 1;
    for (const SolutionField& f : kSolutionFields) recordLength += f.length;

    std::string header(headerLength, '\0');
    const std::tm today = lindavex::store::platform::localTime(std::time(nullptr));
    header[0] = 0x03;
    header[1] = static_cast<char>(today.tm_year % 100);
    header[2] = static_cast<char>(today.tm_mon + 1);
    header[3] = static_cast<char>(today.tm_mday);
    putLittleEndian(header, 4, static_cast<std::uint32_t>(rows.size()), 4);
    putLittleEndian(header, 8, static_cast<std::uint32_t>(headerLength), 2);
    putLittleEndian(header, 10, static_cast<std::uint32_t>(recordLength), 2);
    header[29] = 0x58;  // Windows ANSI (1252)
    std::size_t at = 32;
    for (const SolutionField& f : kSolutionFields) {
        header.replace(at, std::char_traits<char>::length(f.name), f.name);
        header[at + 11] = f.type;
        header[at + 16] = static_cast<char>(f.length);
        at += 32;
    }
    header[at] = 0x0D;

    std::string body;
    body.reserve(rows.size() * recordLength + 1);
    for (const SolutionRow& row : rows) {
        body += ' ';
        body += fixedText(row.asig, 10);
        body += fixedText(row.tarea, 10);
        body += rightAligned(row.dia, 2);
        body += rightAligned(row.hora, 2);
        body += fixedText(row.codGrupo, 10);
        body += fixedText(row.prof, 10);
        body += fixedText(row.aula, 10);
    }
    body += '\x1A';

    // Written beside and renamed, so that a reader never sees half a table.
    const fs::path partial = fs::path(file).concat(".part");
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << header << body;
        out.close();
        if (!out) throw std::runtime_error("cannot write " + partial.string());
    }
    fs::rename(partial, file);
}

// ---------------------------------------------------------------------------------------------
// What the first action left in the work database.

struct Slot {
    std::string dia;   // day number as text, "1" to "7"
    std::string hora;  // period number within the day, as text
};

struct Assignment {
    std::string subjectCode;  // ASIGNOMT.COD
    std::string taskCode;     // the lesson task code, never equal to subjectCode
    std::size_t group;        // index into groups
    std::vector<int> sessionLengths;
};

struct WorkTables {
    std::vector<Slot> slots;             // day and period order
    std::vector<std::size_t> dayStarts;  // first slot of each day, plus slots.size()
    std::vector<std::string> groups;     // GRUPOST.ABREV
    std::vector<std::string> teachers;   // PROFT.ABREV
    std::vector<std::string> rooms;      // AULAT.ABREV
    std::string guardDuty;               // an activity type's COD, empty when there is none
    std::vector<Assignment> assignments;
    std::size_t unplaceable = 0;  // ASIGT rows whose subject or group is unknown
};

Table openShared(const fs::path& dir, const char* name) {
    return Table::open(dir, name, Table::Mode::Shared);
}

// SESIONES: one digit per session length; with 14 or more hours the digits before the last
// thirteen are one number, the length of the first session.
std::vector<int> sessionLengths(std::string_view pattern) {
    std::vector<int> lengths;
    if (pattern.size() > 13) {
        lengths.push_back(lindavex::convert::toInt(pattern.substr(0, pattern.size() - 13)));
        pattern.remove_prefix(pattern.size() - 13);
    }
    for (char c : pattern)
        if (c >= '1' && c <= '9') lengths.push_back(c - '0');
    return lengths;
}

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

WorkTables readWorkTables(const fs::path& dir) {
    WorkTables w;

    std::vector<std::tuple<int, int, Slot>> slots;
    Table tramos = openShared(dir, "DIASHORAST");
    for (tramos.first(); !tramos.eof(); tramos.next()) {
        Slot slot{tramos.asText("DIA"), tramos.asText("HORA")};
        const int day = lindavex::convert::toInt(slot.dia);
        const int period = lindavex::convert::toInt(slot.hora);
        slots.emplace_back(day, period, std::move(slot));
    }
    std::stable_sort(slots.begin(), slots.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (i == 0 || std::get<0>(slots[i]) != std::get<0>(slots[i - 1])) w.dayStarts.push_back(i);
        w.slots.push_back(std::move(std::get<2>(slots[i])));
    }
    w.dayStarts.push_back(w.slots.size());

    // Groups by ABREV, and by their classification for codes that were shortened.
    std::map<std::string, std::size_t> groupByCode;
    std::map<std::string, std::size_t> groupByClass;
    Table grupos = openShared(dir, "GRUPOST");
    for (grupos.first(); !grupos.eof(); grupos.next()) {
        const std::size_t index = w.groups.size();
        w.groups.push_back(grupos.asText("ABREV"));
        groupByCode.emplace(w.groups.back(), index);
        groupByClass.emplace(grupos.asText("TURNO") + '\n' + grupos.asText("NIVEL") + '\n' +
                                 grupos.asText("CURSO") + '\n' + grupos.asText("GRUPO"),
                             index);
    }
    Table profesores = openShared(dir, "PROFT");
    for (profesores.first(); !profesores.eof(); profesores.next())
        w.teachers.push_back(profesores.asText("ABREV"));
    Table aulas = openShared(dir, "AULAT");
    for (aulas.first(); !aulas.eof(); aulas.next()) w.rooms.push_back(aulas.asText("ABREV"));

    // The guard duty is the activity type named so, else the first activity type.
    Table nomAsg = openShared(dir, "ASIGNOMT");
    bool guardNamed = false;
    for (nomAsg.first(); !nomAsg.eof() && !guardNamed; nomAsg.next()) {
        if (!nomAsg.asLogical("ESTAREA").value_or(false)) continue;
        guardNamed = lowered(nomAsg.asText("NOMBRE")).find("guardia") != std::string::npos;
        if (w.guardDuty.empty() || guardNamed) w.guardDuty = nomAsg.asText("COD");
    }

    Table asig = openShared(dir, "ASIGT");
    for (asig.first(); !asig.eof(); asig.next()) {
        // The subject's row by its centre code (subjects stand before activity types, so a
        // group's tutoring hour finds the activity type when no subject has its code).
        const bool subjectFound = nomAsg.lookup("ABREV_GESTION", asig.asText("CASIG"));
        auto group = groupByCode.find(asig.asText("CGRUP"));
        if (group == groupByCode.end()) {
            group = groupByClass.find(asig.asText("TURNO") + '\n' + asig.asText("NIVEL") + '\n' +
                                      asig.asText("CURSO") + '\n' + asig.asText("GRUPO"));
            if (group == groupByClass.end()) {
                ++w.unplaceable;
                continue;
            }
        }
        if (!subjectFound) {
            ++w.unplaceable;
            continue;
        }
        Assignment a;
        a.subjectCode = nomAsg.asText("COD");
        a.taskCode = asig.asText("CTAREA");
        if (a.taskCode.empty() || a.taskCode == a.subjectCode) a.taskCode = "CLASE";
        a.group = group->second;
        a.sessionLengths = sessionLengths(asig.asText("SESIONES"));
        w.assignments.push_back(std::move(a));
    }
    return w;
}

// ---------------------------------------------------------------------------------------------
// Placing the sessions.

class Timetable {
  public:
    explicit Timetable(const WorkTables& w)
        : w_(w),
          groupBusy_(w.groups.size() * w.slots.size()),
          teacherBusy_(w.teachers.size() * w.slots.size()),
          roomBusy_(w.rooms.size() * w.slots.size()) {}

    std::vector<SolutionRow> rows;
    std::size_t dropped = 0;

    void placeLessons() {
        for (std::size_t i = 0; i < w_.assignments.size(); ++i) {
            const Assignment& a = w_.assignments[i];
            // Teachers are shared out in turn; a group has a home room.
            const std::size_t teacher = w_.teachers.empty() ? npos : i % w_.teachers.size();
            const std::size_t room = w_.rooms.empty() ? npos : a.group % w_.rooms.size();
            for (std::size_t s = 0; s < a.sessionLengths.size(); ++s) {
                const std::size_t firstDay = (i + s) % dayCount();
                if (!place(a, teacher, room, a.sessionLengths[s], firstDay, true) &&
                    !place(a, teacher, room, a.sessionLengths[s], firstDay, false))
                    ++dropped;
            }
        }
    }

    // One guard duty per teacher, in the last period that teacher has free.
    void placeGuardDuties() {
        if (w_.guardDuty.empty()) return;
        for (std::size_t t = 0; t < w_.teachers.size(); ++t) {
            for (std::size_t slot = w_.slots.size(); slot-- > 0;) {
                if (teacherBusy_[t * w_.slots.size() + slot]) continue;
                teacherBusy_[t * w_.slots.size() + slot] = true;
                rows.push_back(row(w_.guardDuty, w_.guardDuty, slot, "", w_.teachers[t], ""));
                break;
            }
        }
    }

  private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    std::size_t dayCount() const { return std::max<std::size_t>(1, w_.dayStarts.size() - 1); }

    bool isFree(const std::vector<bool>& busy, std::size_t owner, std::size_t slot) const {
        return !busy[owner * w_.slots.size() + slot];
    }

    // A run of `length` consecutive periods of one day, free for the group (and the teacher
    // when asked), trying the days in turn from firstDay.
    bool place(const Assignment& a, std::size_t teacher, std::size_t homeRoom, int length,
               std::size_t firstDay, bool teacherMustBeFree) {
        if (w_.slots.empty()) return false;
        const auto runLength = static_cast<std::size_t>(std::max(1, length));
        for (std::size_t d = 0; d < dayCount(); ++d) {
            const std::size_t day = (firstDay + d) % dayCount();
            const std::size_t begin = w_.dayStarts[day];
            const std::size_t end = w_.dayStarts[day + 1];
            for (std::size_t start = begin; start + runLength <= end; ++start) {
                bool fits = true;
                for (std::size_t k = start; fits && k < start + runLength; ++k)
                    fits =
                        isFree(groupBusy_, a.group, k) &&
                        (!teacherMustBeFree || teacher == npos || isFree(teacherBusy_, teacher, k));
                if (!fits) continue;
                for (std::size_t k = start; k < start + runLength; ++k) {
                    groupBusy_[a.group * w_.slots.size() + k] = true;
                    if (teacher != npos) teacherBusy_[teacher * w_.slots.size() + k] = true;
                    const std::size_t room = roomFor(homeRoom, k);
                    rows.push_back(row(a.subjectCode, a.taskCode, k, w_.groups[a.group],
                                       teacher == npos ? "" : w_.teachers[teacher],
                                       room == npos ? "" : w_.rooms[room]));
                }
                return true;
            }
        }
        return false;
    }

    // The home room when it is free in that period, else one of the next few rooms that is;
    // after that the home room all the same (a demonstration needs no perfect timetable).
    std::size_t roomFor(std::size_t homeRoom, std::size_t slot) {
        if (homeRoom == npos) return npos;
        constexpr std::size_t kTries = 8;
        std::size_t chosen = homeRoom;
        for (std::size_t k = 0; k < std::min(kTries, w_.rooms.size()); ++k) {
            const std::size_t room = (homeRoom + k) % w_.rooms.size();
            if (isFree(roomBusy_, room, slot)) {
                chosen = room;
                break;
            }
        }
        roomBusy_[chosen * w_.slots.size() + slot] = true;
        return chosen;
    }

    SolutionRow row(const std::string& asig, const std::string& tarea, std::size_t slot,
                    const std::string& group, const std::string& teacher,
                    const std::string& room) const {
        return {asig,
                tarea,
                lindavex::convert::toInt(w_.slots[slot].dia),
                lindavex::convert::toInt(w_.slots[slot].hora),
                group,
                teacher,
                room};
    }

    const WorkTables& w_;
    std::vector<bool> groupBusy_;
    std::vector<bool> teacherBusy_;
    std::vector<bool> roomBusy_;
};

// ---------------------------------------------------------------------------------------------
// A solution as the product may hand it over when the work tables no longer match it, for the
// benchmarks: in no useful order, and with records the second action cannot write.

void scramble(std::vector<SolutionRow>& rows, bool randomOrder, int lossPercent) {
    std::mt19937_64 random(0x50105eedULL);
    if (randomOrder) std::shuffle(rows.begin(), rows.end(), random);
    const auto lost = static_cast<std::uint64_t>(lossPercent) * 10;  // per thousand
    for (SolutionRow& r : rows) {
        const std::uint64_t draw = random() % 1000;
        if (draw >= lost + lost / 5) continue;
        const bool taskRow = r.asig == r.tarea;
        if (draw >= lost) {
            (draw % 2 == 0 ? r.prof : r.aula) = "SIN-CODIGO";
            continue;
        }
        switch (random() % 6) {
            case 0:
                r.dia = 0;
                break;
            case 1:
                r.dia = 9;
                break;
            case 2:
                r.hora = 0;
                break;
            case 3:
                r.hora = 99;  // no such period
                break;
            case 4:
                // A task row's group is not looked up: its subject goes instead.
                if (!taskRow) {
                    r.codGrupo = "SIN-GRUPO";
                    break;
                }
                [[fallthrough]];
            default:
                r.asig = "SIN-MATERIA";
                if (taskRow) r.tarea = r.asig;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    bool randomOrder = false;
    int lossPercent = 0;
    bool usable = !args.empty() && args[0] != "--help" && args[0] != "-h";
    for (std::size_t i = 1; usable && i < args.size(); ++i) {
        if (args[i] == "--random-order") {
            randomOrder = true;
        } else if (args[i] == "--losses" && i + 1 < args.size()) {
            char* end = nullptr;
            lossPercent = static_cast<int>(std::strtol(args[++i].c_str(), &end, 10));
            usable = *end == '\0' && lossPercent >= 0 && lossPercent <= 80;
        } else {
            usable = false;
        }
    }
    if (!usable) {
        std::cerr << kUsage;
        return args.size() == 1 ? 0 : 2;
    }
    try {
        const fs::path dir = args[0];
        const WorkTables tables = readWorkTables(dir);
        Timetable timetable(tables);
        timetable.placeLessons();
        timetable.placeGuardDuties();
        scramble(timetable.rows, randomOrder, lossPercent);
        writeSolution(lindavex::store::dbfPath(dir, "SOLUC"), timetable.rows);
        std::cout << "SOLUC: " << timetable.rows.size() << " records (" << tables.assignments.size()
                  << " assignments placed";
        if (timetable.dropped > 0)
            std::cout << ", " << timetable.dropped << " sessions without a free period";
        if (tables.unplaceable > 0)
            std::cout << ", " << tables.unplaceable << " assignments of unknown subject or group";
        std::cout << ")\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "lindavex-demo-solver: " << error.what() << '\n';
        return 1;
    }
}
