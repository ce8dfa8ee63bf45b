#include "toxml/result_export.h"

#include <array>
#include <chrono>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/codepage.h"
#include "store/days.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/work_tables.h"
#include "store/workdb/table_swap.h"
#include "store/workdb/workdb.h"
#include "store/xml/centre_document.h"
#include "store/xml/result_writer.h"
#include "toxml/export_time.h"

namespace lindavex::toxml {
namespace {

namespace fs = std::filesystem;
namespace work_tables = store::work_tables;
namespace field = store::work_tables::field;

// A run writes its hidden result file without pause (a piece at least every megabyte) and
// renames it once done: one untouched this long belongs to a run that was stopped.
constexpr std::chrono::minutes kStaleAfter{10};

// The tables the run reads, each held for exclusive use from the start of the run to its end,
// opened in this order. Members close themselves when the run stops on an error.
struct RunTables {
    explicit RunTables(const fs::path& dir)
        : soluc(open(dir, work_tables::kSoluc)),
          grupos(open(dir, work_tables::kGrupost)),
          profesor(open(dir, work_tables::kProft)),
          aulas(open(dir, work_tables::kAulat)),
          nomAsg(open(dir, work_tables::kAsignomt)),
          tramos(open(dir, work_tables::kDiashorast)),
          asig(store::HeldTable::open(dir, work_tables::kAsigt)) {}

    void close() {
        for (store::Table* table : {&soluc, &grupos, &profesor, &aulas, &nomAsg, &tramos})
            table->close();
        asig.close();
    }

    store::Table soluc;
    store::Table grupos;
    store::Table profesor;
    store::Table aulas;
    store::Table nomAsg;
    store::Table tramos;
    // Not read: held so that the assignments cannot change while the timetable is written.
    store::HeldTable asig;

  private:
    static store::Table open(const fs::path& dir, std::string_view name) {
        return store::Table::open(dir, name, store::Table::Mode::Exclusive);
    }
};

struct CentreHeader {
    std::string codigo;
    std::string nombre;
    std::string cursoEscolar;
    std::string version;
};

// The root's identifying attributes. A file without them cannot become a result file that
// Pincel-rIdaz would take for this centre, so the run stops and says what is missing.
CentreHeader readHeader(const store::CentreDocument& document, const store::ParseResult& parsed,
                        const fs::path& file) {
    if (const auto refusal = store::notACentreFile(document, parsed, file)) throw Error(*refusal);
    const store::Node root = document.documentElement();
    const std::string quoted = "\"" + utf8Path(file) + "\"";
    std::string missing;
    int missingCount = 0;
    for (const char* name : {"Codigo", "Nombre", "CursoEscolar", "Version"}) {
        if (root.hasAttribute(name)) continue;
        missing += (missingCount++ == 0 ? "" : ", ");
        missing += name;
    }
    if (missingCount > 0)
        throw Error("El elemento Centro del archivo XML " + quoted + " no tiene " +
                    (missingCount == 1 ? "el atributo " : "los atributos ") + missing + ".");
    return {root.attribute("Codigo"), root.attribute("Nombre"), root.attribute("CursoEscolar"),
            root.attribute("Version")};
}

// Starts the Centro that replaces the whole old root: the header and the timetable element,
// left open for the activities.
void startCentre(store::ElementWriter& out, const CentreHeader& header,
                 const std::string& exportTime) {
    out.startElement("Centro");
    out.attribute("Codigo", header.codigo);
    out.attribute("Nombre", header.nombre);
    out.attribute("CursoEscolar", header.cursoEscolar);
    out.attribute("FechaExportacion", exportTime);
    out.attribute("Version", header.version);
    out.startElement("horario");
}

// Writes one actividad per qualifying SOLUC record of one kind, in record order, and notes
// each record that it does not write or writes with a code left empty.
class TimetableWriter {
  public:
    TimetableWriter(RunTables& tables, store::ElementWriter& out, std::vector<Finding>& findings)
        : t_(tables),
          out_(out),
          findings_(findings),
          asig_(t_.soluc.column(field::kAsig)),
          tarea_(t_.soluc.column(field::kTarea)),
          dia_(t_.soluc.column(field::kDia)),
          hora_(t_.soluc.column(field::kHora)),
          codGrupo_(t_.soluc.column(field::kCodgrupo)),
          prof_(t_.soluc.column(field::kProf)),
          aula_(t_.soluc.column(field::kAula)),
          grupoAbrev_(t_.grupos.column(field::kAbrev)),
          asignaturaCod_(t_.nomAsg.column(field::kCod)),
          asignaturaGestion_(t_.nomAsg.column(field::kAbrevGestion)),
          profesorAbrev_(t_.profesor.column(field::kAbrev)),
          aulaAbrev_(t_.aulas.column(field::kAbrev)),
          aulaGestion_(t_.aulas.column(field::kAbrevGestion)),
          tramoDiho_(t_.tramos.column(field::kDiho)),
          tramoDesde_(t_.tramos.column(field::kHoradesde)),
          tramoHasta_(t_.tramos.column(field::kHorahasta)),
          actividad_(out.elementName("actividad")),
          tipo_(out.attributeName("tipo")),
          codigoProfesor_(out.attributeName("codigoProfesor")),
          codigoGrupo_(out.attributeName("codigoGrupo")),
          codigoMateria_(out.attributeName("codigoMateria")),
          codigoAula_(out.attributeName("codigoAula")),
          diaName_(out.attributeName("dia")),
          horaInicio_(out.attributeName("HoraInicio")),
          horaFin_(out.attributeName("HoraFin")) {}

    std::size_t written() const { return written_; }
    std::size_t read() const { return read_; }

    // The subject rows, then the task rows. The first pass notes each record's kind, so that
    // the second reads only the task rows again.
    void writeAll() {
        profesores_.assign(t_.profesor.recordCount(), {});
        grupos_.assign(t_.grupos.recordCount(), {});
        materias_.assign(t_.nomAsg.recordCount(), {});
        aulas_.assign(t_.aulas.recordCount(), {});
        tramos_.assign(t_.tramos.recordCount(), {});
        store::Table& soluc = t_.soluc;
        taskRow_.assign(soluc.recordCount(), false);
        for (soluc.first(); !soluc.eof(); soluc.next()) {
            ++read_;
            writeRow(RowKind::Subject);
        }
        for (soluc.first(); !soluc.eof(); soluc.next())
            if (taskRow_[soluc.position()]) writeRow(RowKind::Task);
    }

  private:
    void writeRow(RowKind kind) {
        using Reason = Finding::Reason;
        store::Table& soluc = t_.soluc;
        // Texts are read as views of the records they stand in: SOLUC's stays the current one,
        // and each other table stays on the record looked up, until the row is written.
        Scratch& s = scratch_;
        const std::string_view asig = soluc.asTextView(asig_, s.asig);
        const std::string_view tarea = soluc.asTextView(tarea_, s.tarea);
        if (kind == RowKind::Subject) taskRow_[soluc.position()] = asig == tarea;
        if ((asig == tarea) != (kind == RowKind::Task)) return;
        // A timetable has a few dozen slots, each in thousands of rows: a slot's day and key are
        // kept by the bytes DIA and HORA hold, which are all that their reads depend on.
        slotBytes_.assign(soluc.storedBytes(dia_));
        slotBytes_ += soluc.storedBytes(hora_);
        auto known = slots_.find(slotBytes_);
        if (known == slots_.end()) {
            // DIA and HORA are read once each, as their number and their text: the number for
            // the rules, the text for the slot key.
            const store::Table::IntegerAndText dia =
                located(field::kDia, dia_, [&] { return soluc.asIntegerAndText(dia_); });
            const std::int32_t day = dia.value.value_or(0);
            // The slot key is the day's text followed by the period's, unambiguous for one-digit
            // days only: day 11, period 3 would find Monday's thirteenth period.
            if (day == 0) return note(Reason::DayZero, kind);
            if (day < 1 || day > 7) return note(Reason::DayOutOfRange, kind);
            const store::Table::NumberAndText hora =
                located(field::kHora, hora_, [&] { return soluc.asFloatAndText(hora_); });
            if (hora.value.value_or(0.0) == 0.0) return note(Reason::HourZero, kind);
            std::string key(codepage::trim(dia.text));
            key += codepage::trim(hora.text);
            std::optional<std::size_t> period;
            if (t_.tramos.lookup(tramoDiho_, key)) period = t_.tramos.position();
            known = slots_.emplace(slotBytes_, Slot{day, std::move(key), period}).first;
        }
        const Slot& slot = known->second;
        const std::int32_t day = slot.day;

        // Each table's record is found here and its values written below, once the row is
        // known to be written: the records' positions stand for them until then.
        const std::string_view codGrupo = soluc.asTextView(codGrupo_, s.codGrupo);
        std::size_t grupo = 0;
        if (kind == RowKind::Subject) {
            if (!t_.grupos.lookup(grupoAbrev_, codGrupo))
                return note(Reason::UnknownGroup, kind, codGrupo);
            grupo = t_.grupos.position();
        }
        if (!t_.nomAsg.lookup(asignaturaCod_, asig))
            return note(Reason::UnknownSubject, kind, asig);
        const std::size_t materia = t_.nomAsg.position();
        const std::string_view prof = soluc.asTextView(prof_, s.prof);
        const bool profesorFound = t_.profesor.lookup(profesorAbrev_, prof);
        const std::size_t profesor = t_.profesor.position();
        const std::string_view aulaCode = soluc.asTextView(aula_, s.aulaCode);
        const bool aulaFound = t_.aulas.lookup(aulaAbrev_, aulaCode);
        const std::size_t aula = t_.aulas.position();
        if (!slot.period) return note(Reason::NoSlot, kind, slot.key);

        // The values that come from the other tables are written as they were made ready the
        // first time their record was written: a code stands in thousands of rows.
        out_.startElement(actividad_);
        // Nearly every row has the kind of the row before it: it is made ready once for them.
        if (tarea != tipoText_ || tipoPrepared_.empty()) {
            tipoPrepared_ = out_.preparedAttribute(tipo_, tarea);
            tipoText_ = tarea;
        }
        out_.attributeAsPrepared(tipoPrepared_);
        out_.attributeAsPrepared(profesorFound ? prepared(profesores_, profesor, t_.profesor,
                                                          {{codigoProfesor_, profesorAbrev_}})
                                               : noProfesor_);
        if (kind == RowKind::Subject)
            out_.attributeAsPrepared(
                prepared(grupos_, grupo, t_.grupos, {{codigoGrupo_, grupoAbrev_}}));
        else
            out_.attribute(codigoGrupo_, codGrupo);
        out_.attributeAsPrepared(
            kind == RowKind::Subject
                ? prepared(materias_, materia, t_.nomAsg, {{codigoMateria_, asignaturaGestion_}})
                : noMateria_);
        out_.attributeAsPrepared(
            aulaFound ? prepared(aulas_, aula, t_.aulas, {{codigoAula_, aulaGestion_}}) : noAula_);
        out_.attributeAsPrepared(dias_[static_cast<std::size_t>(day)]);
        // The period's record is stood on again only to make its attributes, once.
        if (tramos_[*slot.period].empty()) t_.tramos.lookup(tramoDiho_, slot.key);
        out_.attributeAsPrepared(prepared(tramos_, *slot.period, t_.tramos,
                                          {{horaInicio_, tramoDesde_}, {horaFin_, tramoHasta_}}));
        out_.endElement();
        ++written_;
        // Only a record that is written can lack its teacher or room in the result; one that
        // names none (a guard duty has no room) lacks nothing.
        if (!profesorFound && !prof.empty()) note(Reason::UnknownTeacher, kind, prof);
        if (!aulaFound && !aulaCode.empty()) note(Reason::UnknownRoom, kind, aulaCode);
    }

    // A value of the current record read as a number. One that does not read keeps the
    // conversion's text and says below it which record, field and value, as the list of
    // records not written names them: in a table of thousands the text alone finds nothing.
    template <typename Read>
    auto located(std::string_view name, const store::Table::Column& column, Read read) const
        -> decltype(read()) {
        try {
            return read();
        } catch (const Error& error) {
            const store::Table& soluc = t_.soluc;
            throw Error(std::string(error.what()) + "\n" + std::string(work_tables::kSoluc) +
                        ", registro " + std::to_string(soluc.position() + 1) + ": " +
                        std::string(name) + " «" + codepage::toUtf8(soluc.storedText(column)) +
                        "»");
        }
    }

    // One attribute, or two in a row, of a record of another table as written: made when the
    // record is first written, from the record the table stands on.
    const std::string& prepared(
        std::vector<std::string>& made, std::size_t record, const store::Table& table,
        std::initializer_list<std::pair<store::ElementWriter::Name, const store::Table::Column&>>
            attributes) {
        std::string& form = made[record];
        if (form.empty())
            for (const auto& [name, field] : attributes)
                form += out_.preparedAttribute(name, table.asTextView(field, scratch_.value));
        return form;
    }

    // The current record as it stands in SOLUC, read again only for a record noted.
    void note(Finding::Reason reason, RowKind kind, std::string_view key = {}) {
        const store::Table& soluc = t_.soluc;
        findings_.push_back({reason, soluc.position() + 1, kind, std::string(key),
                             soluc.asText(asig_), soluc.asText(tarea_), soluc.asText(dia_),
                             soluc.asText(hora_), soluc.asText(codGrupo_), soluc.asText(prof_),
                             soluc.asText(aula_)});
    }

    RunTables& t_;
    store::ElementWriter& out_;
    std::vector<Finding>& findings_;
    // The fields read, named once for the whole run.
    const store::Table::Column asig_, tarea_, dia_, hora_, codGrupo_, prof_, aula_;
    const store::Table::Column grupoAbrev_, asignaturaCod_, asignaturaGestion_;
    const store::Table::Column profesorAbrev_, aulaAbrev_, aulaGestion_;
    const store::Table::Column tramoDiho_, tramoDesde_, tramoHasta_;
    // The activity's element and attribute names, checked once by the writer.
    const store::ElementWriter::Name actividad_, tipo_, codigoProfesor_, codigoGrupo_,
        codigoMateria_, codigoAula_, diaName_, horaInicio_, horaFin_;
    // Where a row's values that their fields do not hold as text are made, one for each.
    struct Scratch {
        std::string asig, tarea, codGrupo, prof, aulaCode, value;
    } scratch_;
    // The attributes as written, of each record of the other tables written so far (empty for
    // one not yet written), and of the values that stand for no record.
    std::vector<std::string> profesores_, grupos_, materias_, aulas_, tramos_;
    const std::string noProfesor_ = out_.preparedAttribute(codigoProfesor_, {});
    const std::string noMateria_ = out_.preparedAttribute(codigoMateria_, {});
    const std::string noAula_ = out_.preparedAttribute(codigoAula_, {});
    const std::array<std::string, 8> dias_ = [this] {
        std::array<std::string, 8> dias;  // by day number, 1 to 7
        for (std::size_t day = 1; day < dias.size(); ++day)
            dias[day] = out_.preparedAttribute(diaName_, days::letterOf(static_cast<int>(day)));
        return dias;
    }();
    // The slots of the rows read so far that have one, by the bytes of their DIA and HORA.
    struct Slot {
        std::int32_t day;
        std::string key;                    // for DIASHORAST's DIHO
        std::optional<std::size_t> period;  // its DIASHORAST record, if it has one
    };
    std::unordered_map<std::string, Slot> slots_;
    std::string slotBytes_;
    std::string tipoText_, tipoPrepared_;  // the last row's TAREA, and its attribute as written
    std::vector<bool> taskRow_;            // by record position, as the first pass found them
    std::size_t written_ = 0;
    std::size_t read_ = 0;
};

}  // namespace

fs::path resultFileName(const fs::path& xmlFile) {
    fs::path name = "ResultadoVelmar";
    name += xmlFile.filename();
    fs::path result = xmlFile;
    result.replace_filename(name);
    return result;
}

bool hasInputs(const fs::path& centreFile, const fs::path& workDb) {
    return store::isFile(centreFile) && store::isFile(store::findDbf(workDb, work_tables::kSoluc));
}

ExportReport exportResult(const fs::path& centreFile, const fs::path& workDb,
                          const LocalClock& clock) {
    ExportReport report;
    // A first action or a restore stopped midway may have left tables of two runs: put back
    // before any is read.
    report.repaired = store::repairWorkDb(workDb);
    RunTables tables(workDb);
    store::CentreDocument document;
    // Only the root's attributes are read; the rest of the file is only checked.
    const store::ParseResult parsed = document.load(centreFile, store::CentreDocument::Keep::Root);
    const CentreHeader header = readHeader(document, parsed, centreFile);
    const std::string exportTime = formatExportTime(clock());
    // Invariant 7: written beside the target and renamed into place once complete. A run
    // killed before its rename left its hidden file.
    report.result = resultFileName(centreFile);
    store::file_io::removeStaleBeside(report.result, kStaleAfter);
    const std::unique_ptr<store::ElementWriter> out =
        store::streamReplacingRoot(document, report.result);
    startCentre(*out, header, exportTime);
    TimetableWriter writer(tables, *out, report.findings);
    writer.writeAll();
    tables.close();
    out->commit();
    report.activities = writer.written();
    report.recordsRead = writer.read();
    return report;
}

}  // namespace lindavex::toxml
