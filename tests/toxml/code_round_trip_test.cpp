// The short codes of ASIGNOMT, PROFT, AULAT and GRUPOST over random lists full of near
// collisions, through both actions: stored codes are unique, every element the rules store
// alone keeps their code, and the timetable export gives each element back its own code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "store/codepage.h"
#include "store/dbase/table.h"
#include "store/xml/centre_document.h"
#include "support/scratch_dir.h"
#include "toworkdb/codes.h"
#include "toworkdb/conversion_run.h"
#include "toxml/export_time.h"
#include "toxml/result_export.h"
#include "toxml/solution_table.h"

namespace lindavex::testing {
namespace {

namespace fs = std::filesystem;
using Codes = std::vector<std::string>;
using toworkdb::foldCase;

std::string first(const std::string& s, std::size_t n) { return s.substr(0, n); }
std::string trimmed10(const std::string& s) { return std::string(codepage::trim(first(s, 10))); }
std::string cut82(const std::string& s) {
    return s.size() <= 10 ? s : s.substr(0, 8) + s.substr(s.size() - 2);
}
std::string key(std::string s) {  // how a table tells stored codes apart
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return foldCase(s);
}

// Codes (code page text, never blank at either end) that meet each other's first 8 or 10
// characters, cut forms, numbered forms and letter case.
Codes randomCodes(std::mt19937& rng, std::size_t n) {
    const auto pick = [&](std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(rng);
    };
    const Codes stems = {"LABORATO", "AULA0000", "ABCDEFGH", "Gru\xD1o-ES"};
    const std::string tailChars = "AB01-9b\xF1";
    Codes out;
    while (out.size() < n) {
        const std::string earlier = out.empty() ? stems[pick(stems.size())] : out[pick(out.size())];
        std::string code;
        switch (pick(10)) {
            case 0:  // shares the first 8 characters, 9 to 12 long
                code = stems[pick(stems.size())];
                for (std::size_t k = 1 + pick(4); k > 0; --k)
                    code += tailChars[pick(tailChars.size())];
                break;
            case 1:  // letter case changed here and there (Ñ and ñ too)
                code = earlier;
                for (char& c : code)
                    if ((std::isalpha(static_cast<unsigned char>(c)) || (c | 0x20) == '\xF1') &&
                        pick(2))
                        c = static_cast<char>(c ^ 0x20);
                break;
            case 2:
                code = earlier;
                break;
            case 3:
                code = cut82(trimmed10(earlier) + std::to_string(1 + pick(12)));
                break;
            case 4:
                code = first(trimmed10(earlier), 9) + std::to_string(1 + pick(3));
                break;
            case 5:
                code = cut82(earlier);
                break;
            case 6:
                code = first(earlier, 10);
                break;
            case 7:
                code = first(stems[pick(stems.size())], 6) + "    " + stems[pick(stems.size())];
                break;
            case 8:  // another code of the same first 8 and last 2 characters
                code = first(earlier, 8) + tailChars[pick(tailChars.size())] +
                       (earlier.size() > 8 ? earlier.substr(8) : "01");
                break;
            default:
                code = pick(8) ? "X" + std::to_string(pick(3)) : "";
                break;
        }
        while (!code.empty() && code.back() == ' ') code.pop_back();
        out.push_back(code);
    }
    return out;
}

// The rules of the teachers (cut) and rooms and groups (shortened) steps, as written: a
// list searched from start to end, ignoring letter case.
Codes ruleCodes(const Codes& codes, bool shortened) {
    Codes list, stored;
    const auto held = [&](const std::string& c) {
        for (const auto& l : list)
            if (foldCase(l) == foldCase(c)) return true;
        return false;
    };
    for (const std::string& code : codes) {
        std::string c = code;
        for (int n = 1; held(c); ++n) c = trimmed10(code) + std::to_string(n);
        stored.push_back(shortened ? cut82(c) : first(c, 10));
        list.push_back(shortened ? stored.back() : c);
    }
    for (auto& c : stored)  // as the field gives it back
        while (!c.empty() && c.back() == ' ') c.pop_back();
    return stored;
}

// The subject rules over subjects then activity types: a COD, or none for no row.
std::vector<std::optional<std::string>> subjectRuleCodes(const Codes& subjects,
                                                         const Codes& types) {
    std::set<std::string> used, seen;
    std::vector<std::optional<std::string>> out;
    for (std::size_t i = 0; i < subjects.size() + types.size(); ++i) {
        const bool isType = i >= subjects.size();
        const std::string& code = isType ? types[i - subjects.size()] : subjects[i];
        const std::string shortCode = trimmed10(code);
        std::string candidate = shortCode;
        if (seen.insert(isType ? shortCode : code).second) {
            candidate = code;
            if (used.contains(shortCode)) {
                const std::string base = first(shortCode, shortCode.size() == 10 ? 9 : 10);
                for (int k = 1; used.contains(candidate = base + std::to_string(k)); ++k) {
                }
            }
            candidate = cut82(candidate);
        }
        if (used.insert(candidate).second)
            out.emplace_back(candidate);
        else
            out.emplace_back();
    }
    return out;
}

Codes column(const fs::path& dir, const char* table, const char* field) {
    auto t = store::Table::open(dir, table, store::Table::Mode::Shared);
    Codes out;
    for (t.first(); !t.eof(); t.next()) out.push_back(t.asText(field));
    return out;
}

// Every element whose code the rules store alone keeps it; stored codes are unique, ignoring
// letter case.
void expectRuleCodesKept(const Codes& rules, const Codes& stored) {
    std::map<std::string, int> ruleCount, storedCount;
    for (const auto& c : rules) ++ruleCount[key(c)];
    for (const auto& c : stored) EXPECT_EQ(++storedCount[key(c)], 1) << c;
    ASSERT_EQ(stored.size(), rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i) {
        EXPECT_LE(stored[i].size(), 10u);
        if (ruleCount[key(rules[i])] == 1) {
            EXPECT_EQ(stored[i], rules[i]) << i;
        }
    }
}

TEST(CodeRoundTrip, EveryElementKeepsItsOwnCode) {
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const std::size_t n = seed % 5 == 0 ? 300 : 2 + rng() % 60;
        struct Kind {
            const char *list, *element, *table, *field;
            Codes codes;
        };
        // Activity types drawn on from the subjects, as they share a table.
        Codes subjectsThenTypes = randomCodes(rng, n + 1 + n / 4);
        const Codes types(subjectsThenTypes.begin() + static_cast<std::ptrdiff_t>(n),
                          subjectsThenTypes.end());
        subjectsThenTypes.resize(n);
        Kind kinds[] = {{"Materias", "Materia", "ASIGNOMT", "COD", subjectsThenTypes},
                        {"TiposActividad", "TipoActividad", "ASIGNOMT", "COD", types},
                        {"Profesores", "Profesor", "PROFT", "ABREV", randomCodes(rng, n)},
                        {"Aulas", "Aula", "AULAT", "ABREV", randomCodes(rng, n)},
                        {"Grupos", "Grupo", "GRUPOST", "ABREV", randomCodes(rng, n)}};
        std::string body;
        for (const Kind& k : kinds) {
            body += "<" + std::string(k.list) + ">";
            for (const auto& code : k.codes)
                body += "<" + std::string(k.element) + " Codigo=\"" + codepage::toUtf8(code) +
                        "\" Denominacion=\"Taller de dibujo\"/>";
            body += "</" + std::string(k.list) + ">";
        }
        ScratchDir scratch;
        const fs::path workDb = scratch / "WTEMP";
        fs::create_directories(workDb);
        const fs::path centre = scratch / "centro.xml";
        std::ofstream(centre, std::ios::binary)
            << "<Centro Codigo=\"1\" Nombre=\"n\" CursoEscolar=\"c\" Version=\"v\">" << body
            << "<Sesiones><Sesion Dia=\"L\" HoraInicio=\"08:00\" HoraFin=\"08:55\"/>"
               "<Sesion Dia=\"L\" HoraInicio=\"09:00\" HoraFin=\"09:55\"/></Sesiones></Centro>";
        toworkdb::convert(centre, workDb);

        // Subjects and activity types: a row for each element the rules give a COD, kept, and for
        // each other element whose code is new, numbered.
        const auto subjectRules = subjectRuleCodes(kinds[0].codes, kinds[1].codes);
        const Codes cods = column(workDb, "ASIGNOMT", "COD");
        Codes subjectLongCodes;
        std::set<std::string> met, distinct;
        std::size_t row = 0;
        for (std::size_t i = 0; i < subjectRules.size(); ++i) {
            const bool isType = i >= kinds[0].codes.size();
            const std::string& code =
                isType ? kinds[1].codes[i - kinds[0].codes.size()] : kinds[0].codes[i];
            if (!met.insert(code).second && !subjectRules[i]) continue;
            ASSERT_LT(row, cods.size());
            if (subjectRules[i]) {
                EXPECT_EQ(cods[row], *subjectRules[i]) << code;
            }
            EXPECT_LE(cods[row].size(), 10u);
            EXPECT_TRUE(distinct.insert(cods[row++]).second) << code;
            if (!isType) subjectLongCodes.push_back(code);
        }
        EXPECT_EQ(row, cods.size());

        std::vector<Codes> stored, rules;
        for (std::size_t k = 2; k < 5; ++k) {
            SCOPED_TRACE(kinds[k].element);
            stored.push_back(column(workDb, kinds[k].table, kinds[k].field));
            Codes codes = kinds[k].codes;
            if (k == 3)  // a room without a code is known by its name
                for (auto& c : codes) c = c.empty() ? "Taller de " : c;
            rules.push_back(ruleCodes(codes, k != 2));
            expectRuleCodesKept(rules.back(), stored.back());
        }

        // One lesson per subject row, naming a group, teacher and room by their stored codes,
        // then one task per activity type.
        const std::size_t lessons = std::max(subjectLongCodes.size(), n);
        std::vector<Solution> solution;
        for (std::size_t i = 0; i < lessons; ++i)
            solution.push_back({cods[i % subjectLongCodes.size()], "#", 1, 1, stored[2][i % n],
                                stored[0][i % n], stored[1][i % n]});
        for (std::size_t i = subjectLongCodes.size(); i < cods.size(); ++i)
            solution.push_back({cods[i], cods[i], 1, 2, "", "", ""});
        writeSolutionTable(workDb, solution);
        toxml::exportResult(centre, workDb,
                            [] { return toxml::LocalDateTime{2026, 1, 1, 8, 0, 0}; });

        store::CentreDocument result;
        result.load(toxml::resultFileName(centre));
        const auto activities = result.selectNodes("/Centro/horario/actividad");
        ASSERT_EQ(activities.size(), solution.size());
        // A teacher's or group's code comes back unchanged where the rules store it under that
        // code and it is unique in its step; a room's and a subject's always, from the code kept
        // beside the short one.
        const auto survives = [&](std::size_t k, std::size_t i) {
            const Codes& all = kinds[k].codes;
            std::size_t same = 0;
            for (const auto& c : all) same += foldCase(c) == foldCase(all[i]);
            return same == 1 && rules[k - 2][i] == all[i];
        };
        for (std::size_t i = 0; i < lessons; ++i) {
            const auto& a = activities[i];
            EXPECT_EQ(a.attribute("codigoMateria"),
                      trimmed10(subjectLongCodes[i % subjectLongCodes.size()]));
            EXPECT_EQ(a.attribute("codigoAula"), first(kinds[3].codes[i % n], 20));
            for (const auto& [k, attribute, index] :
                 {std::tuple{2, "codigoProfesor", 0}, std::tuple{4, "codigoGrupo", 2}}) {
                const std::string& own = kinds[k].codes[i % n];
                EXPECT_EQ(a.attribute(attribute), stored[index][i % n]);
                if (survives(k, i % n)) {
                    EXPECT_EQ(a.attribute(attribute), own) << attribute;
                }
            }
        }
        for (std::size_t i = lessons; i < solution.size(); ++i)
            EXPECT_EQ(activities[i].attribute("tipo"), solution[i].tarea);
    }
}

}  // namespace
}  // namespace lindavex::testing
