#include "shell/controller.h"
#include "shell/main_form.h"

namespace lindavex::shell {

Actions libraryActions() {
    Actions actions;
    actions.exportar = &runConversion;
    actions.importar = [](RunState& state, UserInterface& ui) { runResultExport(state, ui); };
    return actions;
}

}  // namespace lindavex::shell
