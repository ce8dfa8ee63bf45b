#include "tools/centre_generator.h"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "store/codepage.h"

namespace lindavex::tools {
namespace {

// A small deterministic generator (64-bit linear congruential), so files are reproducible.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint32_t below(std::uint32_t n) {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>((state_ >> 33) % n);
    }

  private:
    std::uint64_t state_;
};

// Attribute text: XML-escaped, then in the file's code page.
std::string attr(std::string_view utf8) {
    std::string escaped;
    for (const char c : utf8) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return lindavex::codepage::fromUtf8(escaped);
}

const std::vector<std::string_view> kSubjectNames = {"Lengua Castellana y Literatura",
                                                     "Matemáticas",
                                                     "Inglés",
                                                     "Francés",
                                                     "Geografía e Historia",
                                                     "Biología y Geología",
                                                     "Física y Química",
                                                     "Tecnología",
                                                     "Educación Física",
                                                     "Música",
                                                     "Educación Plástica",
                                                     "Religión",
                                                     "Latín",
                                                     "Filosofía",
                                                     "Economía",
                                                     "Química"};
const std::vector<std::string_view> kFirstNames = {"María",  "José",  "Ángel",  "Lucía", "Íñigo",
                                                   "Begoña", "Tomás", "Nieves", "Óscar", "Raquel"};
const std::vector<std::string_view> kSurnames = {"Hernández", "Pérez", "García", "Rodríguez",
                                                 "Suárez",    "Díaz",  "Martín", "Quintana",
                                                 "Núñez",     "Peña",  "Alemán", "Domínguez"};
const std::vector<std::string_view> kHours = {"04,00", "03,00", "02,00", "01,00", "04,00",
                                              "03,00", "01,50", "02,75", "00,00", "04,20"};

struct Counts {
    int subjects, activityTypes, departments, teachers, rooms, teachings, groups, perGroup;
};

Counts countsFor(int scale) {
    return {40 + 12 * scale, 6, 4 + scale, 60 * scale, 30 * scale, 3 + scale, 39 * scale, 12};
}

// A letter, the number in seven digits and a suffix: with a suffix of two characters or more,
// the first 8 and last 2 characters of such codes are still unique.
std::string longCode(char letter, int i, std::string_view suffix) {
    std::string digits = std::to_string(i);
    return letter + std::string(7 - std::min<std::size_t>(7, digits.size()), '0') + digits +
           std::string(suffix);
}

// The codes of each kind of element, by their number.
struct CodeScheme {
    Codes codes;

    std::string subject(int i) const {
        if (codes == Codes::Long) return longCode('M', i, "-OPTATIVA");
        // Every seventh code is longer than the work tables' ten characters.
        return i % 7 == 3 ? "MATERIA-OPT" + std::to_string(i) : "M" + std::to_string(i);
    }
    std::string activityType(int i) const {
        return codes == Codes::Long ? longCode('T', i, "-ACTIVIDAD") : "ACT" + std::to_string(i);
    }
    std::string teacher(int i) const {
        return codes == Codes::Long ? longCode('P', i, "-DEPART") : "P" + std::to_string(i);
    }
    std::string room(int i) const {
        return codes == Codes::Long ? longCode('A', i, "-AULA") : "A" + std::to_string(i);
    }
    std::string group(int i) const {
        return codes == Codes::Long ? longCode('G', i, "-GRUPO") : "G" + std::to_string(i);
    }
};

}  // namespace

void writeSyntheticCentre(std::ostream& out, int scale, Codes codes) {
    const Counts n = countsFor(scale);
    const CodeScheme code{codes};
    Random random(0x5eed0000ULL + static_cast<std::uint64_t>(scale));
    auto pick = [&random](const auto& list) { return list[random.below(list.size())]; };

    out << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
        << "<Centro Codigo=\"38" << 100000 + scale << "\" Nombre=\""
        << attr("IES Sintético de escala " + std::to_string(scale))
        << "\" CursoEscolar=\"2026-2027\" Version=\"3.2\">\n";

    out << "  <Materias>\n";
    for (int i = 0; i < n.subjects; ++i)
        out << "    <Materia Codigo=\"" << attr(code.subject(i)) << "\" Denominacion=\""
            << attr(std::string(pick(kSubjectNames)) + " " + std::to_string(i)) << "\"/>\n";
    out << "  </Materias>\n  <TiposActividad>\n";
    for (int i = 0; i < n.activityTypes; ++i)
        out << "    <TipoActividad Codigo=\"" << code.activityType(i) << "\" Denominacion=\""
            << attr("Actividad " + std::to_string(i)) << "\"/>\n";
    out << "  </TiposActividad>\n  <Departamentos>\n";
    for (int i = 0; i < n.departments; ++i)
        out << "    <Departamento Codigo=\"D" << i << "\" Denominacion=\""
            << attr("Departamento de " + std::string(pick(kSubjectNames))) << "\"/>\n";
    out << "  </Departamentos>\n  <Profesores>\n";
    for (int i = 0; i < n.teachers; ++i)
        out << "    <Profesor Codigo=\"" << code.teacher(i) << "\" Nombre=\""
            << attr(pick(kFirstNames)) << "\" Apellido1=\"" << attr(pick(kSurnames))
            << "\" Apellido2=\"" << attr(pick(kSurnames)) << "\" CodigoDep=\"D"
            << random.below(n.departments) << "\"/>\n";
    out << "  </Profesores>\n  <Aulas>\n";
    for (int i = 0; i < n.rooms; ++i)
        out << "    <Aula Codigo=\"" << code.room(i) << "\" Denominacion=\""
            << attr("Aula " + std::to_string(i / 10) + "." + std::to_string(i % 10)) << "\"/>\n";
    out << "  </Aulas>\n  <Ensenanzas>\n";
    for (int i = 0; i < n.teachings; ++i)
        out << "    <Ensenanza Codigo=\"E" << i << "\" Denominacion=\""
            << attr("Enseñanza " + std::to_string(i)) << "\"/>\n";
    out << "  </Ensenanzas>\n  <Grupos>\n";
    for (int i = 0; i < n.groups; ++i) {
        const int course = 1 + i % 4;
        const char letter = static_cast<char>('A' + (i / 4) % 26);
        out << "    <Grupo Codigo=\"" << code.group(i) << "\" Denominacion=\""
            << attr(std::to_string(course) + "º " + letter + " grupo " + std::to_string(i))
            << "\" CodigoEnsenanza=\"E" << random.below(n.teachings) << "\" Turno=\""
            << (i % 5 == 4 ? 'T' : 'M') << "\" Curso=\"" << course << "\" Letra=\"" << letter
            << "\" CodigoTutor=\"" << code.teacher(static_cast<int>(random.below(n.teachers)))
            << "\">\n"
            << "      <MateriasGrupo>\n";
        for (int k = 0; k < n.perGroup; ++k)
            out << "        <MateriaGrupo Codigo=\""
                << attr(code.subject(static_cast<int>(random.below(n.subjects)))) << "\" Horas=\""
                << pick(kHours) << "\"/>\n";
        out << "      </MateriasGrupo>\n    </Grupo>\n";
    }
    out << "  </Grupos>\n  <Sesiones>\n";
    // Five days of seven periods; the last one is shorter.
    const char* const starts[] = {"08:00", "08:55", "09:50", "11:15", "12:10", "13:05", "14:00"};
    const char* const ends[] = {"08:55", "09:50", "10:45", "12:10", "13:05", "14:00", "14:35"};
    for (const char day : std::string_view("LMXJV"))
        for (int p = 0; p < 7; ++p)
            out << "    <Sesion Dia=\"" << day << "\" HoraInicio=\"" << starts[p] << "\" HoraFin=\""
                << ends[p] << "\"/>\n";
    out << "  </Sesiones>\n</Centro>\n";
}

}  // namespace lindavex::tools
