#include "shell/controller.h"
#include "shell/main_form.h"

namespace lindavex::shell {

Actions libraryActions() {
    Actions actions;
    actions.exportar = &runConversion;
    actions.importar = [](RunState& state, UserInterface& ui) { runResultExport(state, ui); };
    actions.copias = [](RunState& state, UserInterface& ui) { runCopyRestore(state, ui); };
    return actions;
}

}  // namespace lindavex::shell
