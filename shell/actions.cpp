#include "shell/main_form.h"
#include "store/error.h"

#ifdef LINDAVEX_HAVE_TOWORKDB
#include "toworkdb/conversion_run.h"
#endif
#ifdef LINDAVEX_HAVE_TOXML
#include "toxml/result_export.h"
#endif

namespace lindavex::shell {

Actions libraryActions() {
    Actions actions;
#ifdef LINDAVEX_HAVE_TOWORKDB
    actions.exportar = &toworkdb::runConversion;
#else
    actions.exportar = [](RunState&, UserInterface&) {
        throw Error("Esta versión no incluye la transformación hacia Morvalen");
    };
#endif
#ifdef LINDAVEX_HAVE_TOXML
    actions.importar = &toxml::runResultExport;
#else
    actions.importar = [](RunState&, UserInterface&) {
        throw Error("Esta versión no incluye la transformación hacia Pincel-rIdaz");
    };
#endif
    return actions;
}

}  // namespace lindavex::shell
