#pragma once
// The tables of the work database, for both directions: the names, and for the seven that the
// first action writes, their fields in column order with widths (the second action reads them
// back by these names).
#include <vector>

#include "store/dbase/schema.h"

namespace lindavex::store::work_tables {

inline constexpr const char* kAsignomt = "ASIGNOMT";      // subjects and activity types
inline constexpr const char* kProft = "PROFT";            // teachers
inline constexpr const char* kAulat = "AULAT";            // rooms
inline constexpr const char* kGrupost = "GRUPOST";        // groups
inline constexpr const char* kAsigt = "ASIGT";            // teaching assignments
inline constexpr const char* kDiashorast = "DIASHORAST";  // days and periods
inline constexpr const char* kCountses = "COUNTSES";      // periods per session length
inline constexpr const char* kCursost = "CURSOST";        // courses: only ever removed
inline constexpr const char* kSoluc = "SOLUC";            // the solved timetable: only read

// Every field name, written once: the schemas below, the steps that write the tables and the
// second action that reads them all name their fields by these.
namespace field {
// ASIGNOMT
inline constexpr const char* kCod = "COD";
inline constexpr const char* kCodlargo = "CODLARGO";
inline constexpr const char* kNombre = "NOMBRE";
inline constexpr const char* kCodtarea = "CODTAREA";
inline constexpr const char* kEstarea = "ESTAREA";
inline constexpr const char* kAbrevGestion = "ABREV_GESTION";
// PROFT, AULAT and GRUPOST besides
inline constexpr const char* kAbrev = "ABREV";
inline constexpr const char* kDepart = "DEPART";
inline constexpr const char* kEmail = "EMAIL";
inline constexpr const char* kEdificio = "EDIFICIO";
inline constexpr const char* kMaxalum = "MAXALUM";
inline constexpr const char* kTurno = "TURNO";
inline constexpr const char* kNivel = "NIVEL";
inline constexpr const char* kCurso = "CURSO";
inline constexpr const char* kGrupo = "GRUPO";
inline constexpr const char* kDescrip = "DESCRIP";
inline constexpr const char* kMarco = "MARCO";
inline constexpr const char* kTutor = "TUTOR";
// ASIGT besides
inline constexpr const char* kCasig = "CASIG";
inline constexpr const char* kCprof = "CPROF";
inline constexpr const char* kCgrup = "CGRUP";
inline constexpr const char* kCaula = "CAULA";
inline constexpr const char* kHoras = "HORAS";
inline constexpr const char* kSesiones = "SESIONES";
inline constexpr const char* kNconex = "NCONEX";
inline constexpr const char* kCtarea = "CTAREA";
inline constexpr const char* kAsigGestion = "ASIG_GESTION";
// DIASHORAST and COUNTSES besides
inline constexpr const char* kDiho = "DIHO";
inline constexpr const char* kCoddiho = "CODDIHO";
inline constexpr const char* kDia = "DIA";
inline constexpr const char* kTextodia = "TEXTODIA";
inline constexpr const char* kHora = "HORA";
inline constexpr const char* kTextohor = "TEXTOHOR";
inline constexpr const char* kHoradesde = "HORADESDE";
inline constexpr const char* kHorahasta = "HORAHASTA";
inline constexpr const char* kMinutos = "MINUTOS";
inline constexpr const char* kMarcoxml = "MARCOXML";
inline constexpr const char* kDuracion = "DURACION";
inline constexpr const char* kNses = "NSES";
// SOLUC, read only, besides DIA and HORA
inline constexpr const char* kAsig = "ASIG";
inline constexpr const char* kTarea = "TAREA";
inline constexpr const char* kCodgrupo = "CODGRUPO";
inline constexpr const char* kProf = "PROF";
inline constexpr const char* kAula = "AULA";
}  // namespace field

inline const std::vector<FieldDef>& asignomt() {
    static const std::vector<FieldDef> fields = {
        {field::kCod, FieldType::Text, 10},    {field::kCodlargo, FieldType::Text, 10},
        {field::kNombre, FieldType::Text, 80}, {field::kCodtarea, FieldType::Text, 12},
        {field::kEstarea, FieldType::Logical}, {field::kAbrevGestion, FieldType::Text, 10}};
    return fields;
}

inline const std::vector<FieldDef>& proft() {
    static const std::vector<FieldDef> fields = {{field::kAbrev, FieldType::Text, 10},
                                                 {field::kNombre, FieldType::Text, 80},
                                                 {field::kDepart, FieldType::Text, 40},
                                                 {field::kEmail, FieldType::Text, 100}};
    return fields;
}

inline const std::vector<FieldDef>& aulat() {
    static const std::vector<FieldDef> fields = {{field::kAbrev, FieldType::Text, 10},
                                                 {field::kNombre, FieldType::Text, 80},
                                                 {field::kEdificio, FieldType::Text, 1},
                                                 {field::kMaxalum, FieldType::Integer},
                                                 {field::kAbrevGestion, FieldType::Text, 20}};
    return fields;
}

inline const std::vector<FieldDef>& grupost() {
    static const std::vector<FieldDef> fields = {
        {field::kAbrev, FieldType::Text, 10}, {field::kTurno, FieldType::Text, 1},
        {field::kNivel, FieldType::Text, 5},  {field::kCurso, FieldType::Text, 3},
        {field::kGrupo, FieldType::Text, 2},  {field::kDescrip, FieldType::Text, 80},
        {field::kMarco, FieldType::Text, 1},  {field::kTutor, FieldType::Text, 10}};
    return fields;
}

inline const std::vector<FieldDef>& asigt() {
    static const std::vector<FieldDef> fields = {
        {field::kCasig, FieldType::Text, 10},      {field::kCprof, FieldType::Text, 10},
        {field::kCgrup, FieldType::Text, 10},      {field::kCaula, FieldType::Text, 10},
        {field::kTurno, FieldType::Text, 1},       {field::kNivel, FieldType::Text, 5},
        {field::kCurso, FieldType::Text, 3},       {field::kGrupo, FieldType::Text, 2},
        {field::kHoras, FieldType::Float},         {field::kSesiones, FieldType::Text, 20},
        {field::kNconex, FieldType::Text, 4},      {field::kCtarea, FieldType::Text, 10},
        {field::kAsigGestion, FieldType::Text, 10}};
    return fields;
}

inline const std::vector<FieldDef>& diashorast() {
    static const std::vector<FieldDef> fields = {
        {field::kDiho, FieldType::Text, 10},     {field::kCoddiho, FieldType::Text, 10},
        {field::kDia, FieldType::Text, 20},      {field::kTextodia, FieldType::Text, 20},
        {field::kHora, FieldType::Text, 8},      {field::kTextohor, FieldType::Text, 15},
        {field::kHoradesde, FieldType::Text, 8}, {field::kHorahasta, FieldType::Text, 8},
        {field::kMinutos, FieldType::Text, 8},   {field::kMarco, FieldType::Text, 1},
        {field::kMarcoxml, FieldType::Text, 10}};
    return fields;
}

inline const std::vector<FieldDef>& countses() {
    static const std::vector<FieldDef> fields = {{field::kDuracion, FieldType::Text, 10},
                                                 {field::kNses, FieldType::Integer}};
    return fields;
}

inline const std::vector<IndexDef>& countsesIndexes() {
    static const std::vector<IndexDef> indexes = {{field::kNses, field::kNses}};
    return indexes;
}

// The tables one conversion run writes, in the order the run writes them, and the one it removes.
inline const std::vector<const char*>& writtenTables() {
    static const std::vector<const char*> names = {kAsignomt,   kProft,    kAulat, kGrupost,
                                                   kDiashorast, kCountses, kAsigt};
    return names;
}
inline constexpr const char* kRemovedTable = kCursost;

}  // namespace lindavex::store::work_tables
