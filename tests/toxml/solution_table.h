#pragma once
// SOLUC as the Morvalen product writes it at level 7: codes as text, DIA an integer and HORA a
// floating-point number.
#include <filesystem>
#include <string>
#include <vector>

#include "store/dbase/table.h"
#include "tests/support/recreate_table.h"

namespace lindavex::testing {

struct Solution {
    std::string asig;
    std::string tarea;
    int dia;
    double hora;
    std::string codGrupo;
    std::string prof;
    std::string aula;
};

inline void writeSolutionTable(const std::filesystem::path& dir,
                               const std::vector<Solution>& rows) {
    using store::FieldType;
    store::recreateTable(dir, "SOLUC",
                         {{"ASIG", FieldType::Text, 10},
                          {"TAREA", FieldType::Text, 10},
                          {"DIA", FieldType::Integer},
                          {"HORA", FieldType::Float},
                          {"CODGRUPO", FieldType::Text, 10},
                          {"PROF", FieldType::Text, 10},
                          {"AULA", FieldType::Text, 10}});
    store::Table t = store::Table::open(dir, "SOLUC", store::Table::Mode::Shared);
    for (const Solution& r : rows) {
        t.append();
        t.setText("ASIG", r.asig);
        t.setText("TAREA", r.tarea);
        t.setInteger("DIA", r.dia);
        t.setFloat("HORA", r.hora);
        t.setText("CODGRUPO", r.codGrupo);
        t.setText("PROF", r.prof);
        t.setText("AULA", r.aula);
        t.post();
    }
    t.close();
}

}  // namespace lindavex::testing
