#include <ostream>

#include "cli/commands.h"

namespace lindavex::cli {

void printUsage(std::ostream& out) {
    out << "Usage:\n"
           "  lindavex-cli exportar CENTRO.xml [--workdb DIR]\n"
           "      First action: converts the centre file CENTRO.xml into the Morvalen work\n"
           "      tables (ASIGNOMT, PROFT, AULAT, GRUPOST, ASIGT, DIASHORAST, COUNTSES) and\n"
           "      removes CURSOST. Prints one line per table with the records written.\n"
           "  lindavex-cli importar CENTRO.xml [--workdb DIR]\n"
           "      Second action: writes the timetable solved in SOLUC into the new file\n"
           "      ResultadoVelmarCENTRO.xml beside CENTRO.xml, which is left unchanged.\n"
           "\n"
           "The work database is the folder C:\\WTEMP as a Windows program sees it (under Wine,\n"
           "$WINEPREFIX/drive_c/WTEMP); LINDAVEX_WORKDB or --workdb DIR choose another.\n"
           "Exit status: 0 when the action ended with \"Proceso finalizado\", 1 when it did not\n"
           "(missing file, or an error, whose text goes to standard error), 2 for a usage error.\n";
}

}  // namespace lindavex::cli
