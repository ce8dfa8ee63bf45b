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

inline const std::vector<FieldDef>& asignomt() {
    static const std::vector<FieldDef> fields = {
        {"COD", FieldType::Text, 10},    {"CODLARGO", FieldType::Text, 10},
        {"NOMBRE", FieldType::Text, 80}, {"CODTAREA", FieldType::Text, 12},
        {"ESTAREA", FieldType::Logical}, {"ABREV_GESTION", FieldType::Text, 10}};
    return fields;
}

inline const std::vector<FieldDef>& proft() {
    static const std::vector<FieldDef> fields = {{"ABREV", FieldType::Text, 10},
                                                 {"NOMBRE", FieldType::Text, 80},
                                                 {"DEPART", FieldType::Text, 40},
                                                 {"EMAIL", FieldType::Text, 100}};
    return fields;
}

inline const std::vector<FieldDef>& aulat() {
    static const std::vector<FieldDef> fields = {{"ABREV", FieldType::Text, 10},
                                                 {"NOMBRE", FieldType::Text, 80},
                                                 {"EDIFICIO", FieldType::Text, 1},
                                                 {"MAXALUM", FieldType::Integer},
                                                 {"ABREV_GESTION", FieldType::Text, 20}};
    return fields;
}

inline const std::vector<FieldDef>& grupost() {
    static const std::vector<FieldDef> fields = {
        {"ABREV", FieldType::Text, 10}, {"TURNO", FieldType::Text, 1},
        {"NIVEL", FieldType::Text, 5},  {"CURSO", FieldType::Text, 3},
        {"GRUPO", FieldType::Text, 2},  {"DESCRIP", FieldType::Text, 80},
        {"MARCO", FieldType::Text, 1},  {"TUTOR", FieldType::Text, 10}};
    return fields;
}

inline const std::vector<FieldDef>& asigt() {
    static const std::vector<FieldDef> fields = {
        {"CASIG", FieldType::Text, 10},       {"CPROF", FieldType::Text, 10},
        {"CGRUP", FieldType::Text, 10},       {"CAULA", FieldType::Text, 10},
        {"TURNO", FieldType::Text, 1},        {"NIVEL", FieldType::Text, 5},
        {"CURSO", FieldType::Text, 3},        {"GRUPO", FieldType::Text, 2},
        {"HORAS", FieldType::Float},          {"SESIONES", FieldType::Text, 20},
        {"NCONEX", FieldType::Text, 4},       {"CTAREA", FieldType::Text, 10},
        {"ASIG_GESTION", FieldType::Text, 10}};
    return fields;
}

inline const std::vector<FieldDef>& diashorast() {
    static const std::vector<FieldDef> fields = {
        {"DIHO", FieldType::Text, 10},     {"CODDIHO", FieldType::Text, 10},
        {"DIA", FieldType::Text, 20},      {"TEXTODIA", FieldType::Text, 20},
        {"HORA", FieldType::Text, 8},      {"TEXTOHOR", FieldType::Text, 15},
        {"HORADESDE", FieldType::Text, 8}, {"HORAHASTA", FieldType::Text, 8},
        {"MINUTOS", FieldType::Text, 8},   {"MARCO", FieldType::Text, 1},
        {"MARCOXML", FieldType::Text, 10}};
    return fields;
}

inline const std::vector<FieldDef>& countses() {
    static const std::vector<FieldDef> fields = {{"DURACION", FieldType::Text, 10},
                                                 {"NSES", FieldType::Integer}};
    return fields;
}

inline const std::vector<IndexDef>& countsesIndexes() {
    static const std::vector<IndexDef> indexes = {{"NSES", "NSES"}};
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
