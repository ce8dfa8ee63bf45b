// lindavex: the window. Started by a user it offers both actions; started by the Morvalen
// product with a mode and its window handle, it runs inside that window and hands back the
// completion status in "Morvalen.ini".
#include <QApplication>

#include "shell/main_form.h"
#include "shell/platform.h"
#include "shell/qt_ui.h"

int main(int argc, char** argv) {
    // The mode and the host's window: embedded, as the window decides it.
    QStringList early;
    for (int i = 1; i < argc; ++i) early << QString::fromLocal8Bit(argv[i]);
    lindavex::shell::platform::prepareProcess(lindavex::shell::startsEmbedded(early));
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Lindavex"));
    lindavex::shell::installSpanishTranslations();

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    lindavex::shell::TMForm form(arguments, lindavex::shell::libraryActions());
    // Inside a host window the application does not end by itself when the form closes.
    QObject::connect(&form, &lindavex::shell::TMForm::closed, &app, [&form] {
        if (form.runState().embedded()) lindavex::shell::platform::endEmbedded();
    });
    form.show();
    return QApplication::exec();
}
