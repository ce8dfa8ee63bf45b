// Recording findings while the steps run, and writing them out for the user.
#include "toworkdb/findings.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/codepage.h"
#include "store/error.h"
#include "store/report.h"
#include "toworkdb/codes.h"
#include "toworkdb/steps.h"

namespace lindavex::toworkdb {
namespace {

// How a code came to be stored otherwise, told from the two codes.
const char* howStored(const std::string& centreCode, const std::string& writtenCode) {
    if (centreCode.size() > kCodeWidth && writtenCode == shortenCode(centreCode))
        return "acortado a sus 8 primeros y 2 últimos caracteres";
    if (writtenCode == firstChars(centreCode, kCodeWidth)) return "cortado a 10 caracteres";
    return "numerado para que no se repita";
}

// "línea 12: Materia «LENGUA CASTELLANA» (Lengua castellana)", appended to `text`: a school
// with long codes has a line per element.
void appendWhere(std::string& text, const Finding& f) {
    text.append("línea ").append(std::to_string(f.line));
    // A finding about the whole file (one that is no centre file) names no element.
    if (f.element.empty()) return;
    text.append(": ").append(f.element).append(1, ' ');
    report::appendQuoted(text, f.code);
    if (!f.name.empty()) {
        text.append(" (");
        report::appendShown(text, f.name);
        text.append(1, ')');
    }
}

std::string where(const Finding& f) {
    std::string text;
    appendWhere(text, f);
    return text;
}

const char* kindName(Finding::Kind kind) {
    switch (kind) {
        case Finding::Kind::Error:
            return "error";
        case Finding::Kind::Change:
            return "cambio";
        case Finding::Kind::RoundTrip:
            return "ida y vuelta";
    }
    return "";
}

}  // namespace

void StepContext::note(Finding::Kind kind, Finding::What what, const store::Node& element,
                       const char* table, std::string code, std::string storedCode,
                       std::string name, std::string message) {
    // Filled in place: a school with long codes has a finding per element.
    Finding& f = run.findings.emplace_back();
    f.kind = kind;
    f.what = what;
    f.element = element.name();
    f.table = table;
    f.code = std::move(code);
    f.storedCode = std::move(storedCode);
    f.name = std::move(name);
    f.line = element.line();
    f.message = std::move(message);
}

void StepContext::noteCode(const char* table, const store::Node& element,
                           const std::string& centreCode, const std::string& writtenCode,
                           const std::string& writtenReturned, const std::string& name) {
    // Shown as the table gives them back, without the trailing blank of a code cut at a blank.
    const std::string stored = asStored(writtenCode, writtenCode.size());
    const std::string returned = asStored(writtenReturned, writtenReturned.size());
    if (centreCode.empty()) {
        note(Finding::Kind::Change, Finding::What::EmptyCode, element, table, centreCode, stored,
             name,
             stored.empty() ? "código vacío: su fila de " + std::string(table) + " no tendrá código"
                            : "código vacío: " + std::string(table) + " guarda su fila como " +
                                  report::quoted(stored));
    }
    if (centreCode != writtenCode) {
        // Built in one string: a school with long codes has one per element.
        std::string message;
        message.reserve(64 + stored.size());
        message.append(table).append(" lo guarda como ");
        report::appendQuoted(message, stored);
        message.append(", ").append(howStored(centreCode, writtenCode));
        note(Finding::Kind::Change, Finding::What::Renamed, element, table, centreCode, stored,
             name, std::move(message));
    }
    // The code as the file has it, before the code page: a character the code page lacks
    // comes back as '?'. ASCII always comes back.
    std::string scratch;
    const std::string_view unicode = element.attributeUnicodeView(codigo, scratch);
    if (!codepage::isAscii(unicode) && unicode != codepage::toUtf8(codepage::fromUtf8(unicode))) {
        note(Finding::Kind::RoundTrip, Finding::What::NotReturned, element, table, centreCode,
             returned, name,
             "el código " + report::escaped(unicode) +
                 " tiene caracteres que las tablas no admiten; la importación devolverá " +
                 report::quoted(returned));
    } else if (returned != centreCode) {
        std::string message = "la importación devolverá ";
        report::appendQuoted(message, returned);
        note(Finding::Kind::RoundTrip, Finding::What::NotReturned, element, table, centreCode,
             returned, name, std::move(message));
    }
}

void StepContext::fail(const Error& error, const store::Node& element, const std::string& code,
                       const std::string& name) {
    if (!run.collectErrors) throw error;
    // The line in the file says which element; the text's own first line says what is wrong.
    const std::string text = error.what();
    note(Finding::Kind::Error, Finding::What::BadNumber, element, "", code, "", name,
         text.substr(0, text.find('\n')));
}

std::string findingsText(const std::vector<Finding>& findings) {
    static constexpr std::array<std::pair<Finding::Kind, const char*>, 3> kinds = {{
        {Finding::Kind::Error, "Errores que detendrían la exportación"},
        {Finding::Kind::Change, "Cambios que haría la exportación"},
        {Finding::Kind::RoundTrip, "Códigos que la importación no devolvería iguales"},
    }};
    std::vector<report::Group> groups;
    for (const auto& [kind, heading] : kinds) {
        // In the order of the file, for going through it.
        std::vector<const Finding*> ofKind;
        for (const Finding& f : findings)
            if (f.kind == kind) ofKind.push_back(&f);
        std::stable_sort(ofKind.begin(), ofKind.end(),
                         [](const Finding* a, const Finding* b) { return a->line < b->line; });
        report::Group& group = groups.emplace_back(report::Group{heading, {}});
        for (const Finding* f : ofKind) {
            std::string& line = group.lines.emplace_back();
            appendWhere(line, *f);
            line.append(": ").append(f->message);
        }
    }
    std::string text = report::groupedText(groups);
    if (text.empty()) text = "Nada que señalar: la exportación guardaría el archivo tal cual.\n";
    return text;
}

std::string findingsCsv(const std::vector<Finding>& findings, const TableChanges& changes) {
    report::Csv csv({"tipo", "elemento", "codigo", "codigo_guardado", "linea", "mensaje"});
    for (const Finding& f : findings) {
        csv.row({kindName(f.kind), f.element, codepage::toUtf8(f.code),
                 codepage::toUtf8(f.storedCode), std::to_string(f.line), f.message});
    }
    for (const ChangeLine& line : changeLines(changes, Tense::Would))
        csv.row(
            {kindName(line.kind), line.table, codepage::toUtf8(line.code), "", "", line.message});
    return csv.text();
}

std::string renamedCodesText(const std::vector<Finding>& findings) {
    std::string renamed;
    std::string dropped;
    for (const Finding& f : findings) {
        // Appended piece by piece: a school with long codes has one line per element.
        if (f.what == Finding::What::Renamed) {
            renamed.append("  ").append(f.table).append(": ");
            report::appendShown(renamed, f.code);
            renamed.append(" → ");
            report::appendShown(renamed, f.storedCode);
            renamed.append(1, '\n');
        } else if (f.what == Finding::What::NoRow || f.what == Finding::What::TutorEmptied) {
            dropped.append("  ");
            appendWhere(dropped, f);
            dropped.append(": ").append(f.message).append(1, '\n');
        }
    }
    std::string text;
    if (!renamed.empty()) text += "Códigos guardados con otro código:\n" + renamed;
    if (!dropped.empty()) text += "Sin guardar:\n" + dropped;
    return text;
}

std::string earlierTablesText(const std::filesystem::path& copy) {
    if (copy.empty()) return {};
    return std::string(kEarlierTablesText) + ": " + utf8Path(copy) +
           "\n  Para volver a ellas: lindavex-cli restaurar " + utf8Path(copy.filename()) + '\n';
}

std::string finishedDetailsText(const ConversionReport& report) {
    std::string notes = report.repaired.empty() ? "" : report.repaired + '\n';
    for (const Finding& f : report.findings)
        if (f.what == Finding::What::HiddenUtf8)
            notes += "Aviso: " + where(f) + ": " + f.message + '\n';
    return notes + changesSummaryText(report.changes) + earlierTablesText(report.earlierTables) +
           renamedCodesText(report.findings);
}

}  // namespace lindavex::toworkdb
