#include <ostream>

#include "cli/commands.h"

namespace lindavex::cli {

void printUsage(std::ostream& out) {
    out << "Uso:\n"
           "  lindavex-cli exportar CENTRO.xml [--workdb CARPETA]\n"
           "      Primera acción: convierte el archivo del centro CENTRO.xml en las tablas de\n"
           "      trabajo de Morvalen (ASIGNOMT, PROFT, AULAT, GRUPOST, ASIGT, DIASHORAST,\n"
           "      COUNTSES) y borra CURSOST. Escribe una línea por tabla con sus registros y,\n"
           "      frente a las tablas que reemplazó, los códigos que cambiaron de significado,\n"
           "      los registros de SOLUC afectados y las filas nuevas, quitadas y cambiadas.\n"
           "  lindavex-cli importar CENTRO.xml [--workdb CARPETA] [--formato texto|csv]\n"
           "      Segunda acción: escribe el horario resuelto en SOLUC en el archivo nuevo\n"
           "      ResultadoVelmarCENTRO.xml junto a CENTRO.xml, que queda sin cambios. Lista\n"
           "      cada registro de SOLUC que no escribió y cada actividad escrita sin profesor o\n"
           "      sin aula, con su número de registro y el motivo; con csv, solo esa lista.\n"
           "  lindavex-cli comprobar CENTRO.xml [--workdb CARPETA] [--formato texto|csv]\n"
           "      Lista a la vez todo lo que la primera acción encontraría en CENTRO.xml: los\n"
           "      errores que la detendrían, los códigos y filas que cambiaría, y los códigos\n"
           "      que la segunda acción no devolvería iguales. Después, frente a las tablas de\n"
           "      trabajo de ahora: los códigos que pasarían a nombrar otro elemento, los\n"
           "      registros de SOLUC que quedarían señalando otro o ninguno, y cada fila que\n"
           "      vendría, se iría o cambiaría. No escribe ninguna tabla. Sale con 0 cuando\n"
           "      nada detendría la primera acción y con 1 cuando algo la detendría.\n"
           "  lindavex-cli restaurar [FECHA] [--workdb CARPETA]\n"
           "      Sin FECHA, lista las copias que la primera acción guardó de las tablas que\n"
           "      reemplazó (en LINDAVEX-COPIAS, las diez más recientes), de la más reciente a\n"
           "      la más antigua, con sus tablas y registros. Con FECHA, pone esa copia en lugar\n"
           "      de las tablas de ahora, todas o ninguna, y guarda antes las de ahora como una\n"
           "      copia nueva. SOLUC no cambia.\n"
           "\n"
           "La base de datos de trabajo es la carpeta C:\\WTEMP tal como la ve un programa de\n"
           "Windows (con Wine, $WINEPREFIX/drive_c/WTEMP); LINDAVEX_WORKDB o --workdb CARPETA\n"
           "eligen otra.\n"
           "Estado de salida: 0 cuando la acción terminó con \"Proceso finalizado\", 1 cuando no\n"
           "(falta el archivo, o un error, cuyo texto va a la salida de errores), 2 si el uso no\n"
           "es correcto.\n";
}

}  // namespace lindavex::cli
