#include "toxml/findings.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "store/codepage.h"
#include "store/report.h"

namespace lindavex::toxml {
namespace {

using Reason = Finding::Reason;

struct ReasonText {
    Reason reason;
    const char* what;  // why, as the CSV's motivo and in the heading
};

// In the order of the row rules; those written with a code missing last.
constexpr std::array<ReasonText, 8> kReasons = {{
    {Reason::DayZero, "DIA es 0 o está vacío"},
    {Reason::DayOutOfRange, "DIA no es un día de 1 a 7"},
    {Reason::HourZero, "HORA es 0 o está vacía"},
    {Reason::UnknownGroup, "CODGRUPO no es el código de ningún grupo de GRUPOST"},
    {Reason::UnknownSubject,
     "ASIG no es el código de ninguna materia ni tipo de actividad de ASIGNOMT"},
    {Reason::NoSlot, "DIASHORAST no tiene el periodo de ese DIA y esa HORA"},
    {Reason::UnknownTeacher, "PROF no es el código de ningún profesor de PROFT"},
    {Reason::UnknownRoom, "AULA no es el código de ningún aula de AULAT"},
}};

const char* reasonText(Reason reason) {
    for (const ReasonText& r : kReasons)
        if (r.reason == reason) return r.what;
    return "";
}

std::string heading(Reason reason) {
    const char* prefix = reason == Reason::UnknownTeacher ? "Escritos sin codigoProfesor: "
                         : reason == Reason::UnknownRoom  ? "Escritos sin codigoAula: "
                                                          : "Sin escribir: ";
    return prefix + std::string(reasonText(reason));
}

const char* rowName(RowKind row) { return row == RowKind::Task ? "tarea" : "materia"; }

// "registro 5 (fila de materia): ASIG «MAT», TAREA «CCM», DIA «1», HORA «3», ..."
std::string line(const Finding& f) {
    std::string text = "registro ";
    text.reserve(160);
    text += std::to_string(f.record);
    text += " (fila de ";
    text += rowName(f.row);
    const std::array<std::pair<const char*, const std::string*>, 7> fields = {{
        {"): ASIG ", &f.asig},
        {", TAREA ", &f.tarea},
        {", DIA ", &f.dia},
        {", HORA ", &f.hora},
        {", CODGRUPO ", &f.codGrupo},
        {", PROF ", &f.prof},
        {", AULA ", &f.aula},
    }};
    for (const auto& [label, value] : fields) {
        text += label;
        report::appendQuoted(text, *value);
    }
    // The other keys are fields of the line already.
    if (f.reason == Reason::NoSlot) {
        text += "; clave ";
        report::appendQuoted(text, f.key);
    }
    return text;
}

}  // namespace

std::string summaryLine(const ExportReport& run) {
    const auto notWritten = std::count_if(run.findings.begin(), run.findings.end(),
                                          [](const Finding& f) { return !f.written(); });
    return "SOLUC: " + std::to_string(run.recordsRead) + " registros leídos, " +
           std::to_string(run.activities) + " actividades escritas, " + std::to_string(notWritten) +
           " registros sin escribir\n";
}

std::string findingsText(const ExportReport& run) {
    if (run.findings.empty()) return {};
    std::string text = summaryLine(run) + "\n";
    std::vector<report::Group> groups;
    for (const ReasonText& r : kReasons) {
        // By record number: the task rows' pass comes after the subject rows'.
        std::vector<const Finding*> ofReason;
        for (const Finding& f : run.findings)
            if (f.reason == r.reason) ofReason.push_back(&f);
        std::stable_sort(ofReason.begin(), ofReason.end(),
                         [](const Finding* a, const Finding* b) { return a->record < b->record; });
        report::Group& group = groups.emplace_back(report::Group{heading(r.reason), {}});
        for (const Finding* f : ofReason) group.lines.push_back(line(*f));
    }
    return text + report::groupedText(groups);
}

std::string findingsCsv(const std::vector<Finding>& findings) {
    report::Csv csv({"tipo", "registro", "fila", "motivo", "clave", "ASIG", "TAREA", "DIA", "HORA",
                     "CODGRUPO", "PROF", "AULA"});
    for (const Finding& f : findings) {
        csv.row({f.written() ? "escrito sin código" : "sin escribir", std::to_string(f.record),
                 rowName(f.row), reasonText(f.reason), codepage::toUtf8(f.key),
                 codepage::toUtf8(f.asig), codepage::toUtf8(f.tarea), codepage::toUtf8(f.dia),
                 codepage::toUtf8(f.hora), codepage::toUtf8(f.codGrupo), codepage::toUtf8(f.prof),
                 codepage::toUtf8(f.aula)});
    }
    return csv.text();
}

}  // namespace lindavex::toxml
