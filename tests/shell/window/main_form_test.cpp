// The window offscreen (on Windows, under Wine on an X display): command line and modes,
// panels, the completion status after each way an action can end, errors from actions, and help
// requests.
#include "shell/main_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstring>
#include <fstream>

#include "shell/qt_ui.h"
#include "shell/settings_file.h"
#include "store/error.h"
#include "support/files.h"
#include "support/recording_ui.h"
#include "support/scratch_dir.h"

#ifdef LINDAVEX_HAVE_TOWORKDB
#include "shell/controller.h"
#include "store/workdb/copy_restore.h"
#include "toxml/solution_table.h"
#endif

namespace lindavex::shell {
namespace {
namespace fs = std::filesystem;
using testing::RecordingUi;
using testing::ScratchDir;

// Records like RecordingUi, and closes the window when an action asks, as the real one does.
struct ClosingUi : RecordingUi {
    QWidget* window = nullptr;
    void closeWindow() override {
        RecordingUi::closeWindow();
        if (window != nullptr) window->close();
    }
};

struct Window {
    ScratchDir dir;
    ClosingUi ui;
    std::unique_ptr<TMForm> form;
    std::unique_ptr<QSignalSpy> closed;

    explicit Window(const QStringList& arguments, Actions actions = {}) {
        form = std::make_unique<TMForm>(arguments, std::move(actions), &ui);
        ui.window = form.get();
        form->setSettingsDir(dir.path());
        form->runState().workDb = dir / "WTEMP";
        closed = std::make_unique<QSignalSpy>(form.get(), &TMForm::closed);
        form->show();
    }
    fs::path ini() const { return dir / "Morvalen.ini"; }
    std::optional<std::string> status() const {
        return readProfileString(ini(), "Transformadores", "Transformado");
    }
    bool showsFirstAction() const { return form->Draw3D2->isVisibleTo(form.get()); }
    bool showsSecondAction() const { return form->Draw3D3->isVisibleTo(form.get()); }
    bool frameless() const { return form->windowFlags().testFlag(Qt::FramelessWindowHint); }
};

const QString kHandle = QStringLiteral("3A00007");

TEST(WindowLayout, ControlsCaptionsAndSizes) {
    Window w({});
    TMForm& form = *w.form;
    EXPECT_EQ(form.windowTitle(), "Exportar e importar datos entre Morvalen y Pincel-rIdaz");
    EXPECT_EQ(form.size(), QSize(632, 266));
    EXPECT_EQ(form.Draw3D2->geometry(), QRect(0, 0, 315, 169));
    EXPECT_EQ(form.Draw3D3->geometry(), QRect(316, 0, 317, 169));
    EXPECT_EQ(form.Draw3D1->geometry(), QRect(0, 168, 633, 97));
    EXPECT_EQ(form.BExportar->pos(), QPoint(96, 120));
    EXPECT_EQ(form.BImportar->pos(), QPoint(96, 120));
    EXPECT_EQ(form.BClose->text(), "&Salir");
    EXPECT_EQ(form.Button1->text(), "F1 Ayuda");
    EXPECT_EQ(form.Label1->text(), "Lindavex para RV17 V-1.0");
    EXPECT_EQ(form.Label3->text(), "Transformar datos desde Pincel-rIdaz hacia Morvalen ");
    EXPECT_EQ(form.Label4->text(), "Transformar datos desde Morvalen hacia Pincel-rIdaz");
    EXPECT_FALSE(form.ListBoxPlanti->isVisibleTo(&form));
    EXPECT_TRUE(form.Draw3D1->isVisibleTo(&form));
    // A fixed dialog border: closing is offered, resizing, maximising and minimising are not.
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
}

TEST(CommandLine, ModePanelsAndWhatClosingWrites) {
    const struct {
        QStringList arguments;
        bool embedded, first, second;
        std::optional<std::string> statusOnClose;  // nullopt: no settings file at all
        std::vector<std::string> messages;
    } cases[] = {
        // Any count of arguments but two is ignored.
        {{}, false, true, true, std::nullopt, {}},
        {{"importar"}, false, true, true, std::nullopt, {}},
        {{"importar", kHandle, "x"}, false, true, true, std::nullopt, {}},
        // The mode in any letter case shows its one panel; another mode shows both. Closing
        // without running an action writes 0.
        {{"IMPORTAR", kHandle}, true, false, true, "0", {}},
        {{"Exportar", kHandle}, true, true, false, "0", {}},
        {{"ayuda", kHandle}, true, true, true, "0", {}},
        // A handle that is not hexadecimal is reported, then the window runs free.
        {{"exportar", "12G4"},
         false,
         true,
         true,
         std::nullopt,
         {"'$12G4' is not a valid integer value"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        Window w(c.arguments);
        EXPECT_EQ(w.ui.messages, c.messages);
        EXPECT_EQ(w.form->runState().embedded(), c.embedded);
        // The process settled its display scaling by the same decision before Qt started.
        EXPECT_EQ(startsEmbedded(c.arguments), c.embedded);
        EXPECT_EQ(w.frameless(), c.embedded);
        EXPECT_EQ(w.showsFirstAction(), c.first);
        EXPECT_EQ(w.showsSecondAction(), c.second);
        EXPECT_TRUE(w.form->Draw3D1->isVisibleTo(w.form.get()));
        if (c.first != c.second) {  // the one panel fills the window
            EXPECT_EQ((c.first ? w.form->Draw3D2 : w.form->Draw3D3)->geometry(),
                      QRect(0, 0, 632, 169));
        }
        EXPECT_TRUE(w.form->close());
        EXPECT_EQ(w.closed->count(), 1);
        EXPECT_EQ(fs::exists(w.ini()), c.statusOnClose.has_value());
        EXPECT_EQ(w.status(), c.statusOnClose);
    }
}

TEST(CompletionStatus, AnActionThatFailsKeepsTheWindowTheStatusAndRestoresTheCursor) {
    Actions actions;
    actions.exportar = [](RunState& state, UserInterface&) {
        state.completionStatus = 1;
        toworkdb::ConversionReport report;
        report.workingSet = {"11", "12"};
        return std::optional(report);
    };
    actions.importar = [](RunState&, UserInterface& ui) {
        ui.setWaitCursor(true);
        throw Error("La tabla SOLUC está abierta en otro programa");
    };
    Window w({"importar", kHandle}, actions);
    w.form->BExportarClick();
    w.form->BImportarClick();
    EXPECT_EQ(w.ui.messages,
              std::vector<std::string>{"La tabla SOLUC está abierta en otro programa"});
    EXPECT_FALSE(w.ui.waitCursorShown());
    EXPECT_TRUE(w.form->isVisible());
    EXPECT_EQ(w.closed->count(), 0);
    EXPECT_EQ(w.form->ListBoxPlanti->count(), 2) << "the hidden list mirrors the working set";
    EXPECT_TRUE(w.form->close());
    EXPECT_EQ(w.status(), "1");
}

TEST(CompletionStatus, ASettingsFileThatCannotBeWrittenIsReportedAndTheWindowStays) {
    Window w({"exportar", kHandle});
    fs::create_directory(w.ini());
    EXPECT_FALSE(w.form->close());
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{"Unable to write to " + w.ini().string()});
    EXPECT_TRUE(w.form->isVisible());
    EXPECT_EQ(w.closed->count(), 0);
    fs::remove(w.ini());
    EXPECT_TRUE(w.form->close());
    EXPECT_EQ(w.status(), "0");
}

TEST(CompletionStatus, AHostThatGoesAwayEndsTheWindowButNeverDuringAnAction) {
    const int interval = TMForm::kHostWatchInterval;
    bool hostExists = true;
    QSignalSpy* closed = nullptr;
    int closedDuringAction = -1;
    const auto hostGoesAway = [&](RunState& state,
                                  UserInterface&) -> std::optional<toworkdb::ConversionReport> {
        hostExists = false;
        // An action's dialogs run the event loop; the window must outlast the action.
        QTest::qWait(3 * interval);
        closedDuringAction = closed->count();
        state.completionStatus = 1;
        return std::nullopt;
    };
    // Gone while waiting for a button: ends as if closed, with the status so far.
    {
        Window w({"exportar", kHandle});
        w.form->setHostWindowCheck([&] { return hostExists; });
        hostExists = false;
        EXPECT_TRUE(w.closed->wait(4 * interval));
        EXPECT_EQ(w.status(), "0");
    }
    // Gone during an action: ends only once the action has returned.
    {
        hostExists = true;
        Window w({"exportar", kHandle}, {hostGoesAway, {}, {}});
        w.form->setHostWindowCheck([&] { return hostExists; });
        closed = w.closed.get();
        w.form->BExportarClick();
        EXPECT_EQ(closedDuringAction, 0);
        EXPECT_EQ(w.closed->count(), 1);
        EXPECT_EQ(w.status(), "1");
    }
    // Gone, and the status cannot be written: said once, and the program ends all the same.
    {
        Window w({"exportar", kHandle});
        w.form->setHostWindowCheck([] { return false; });
        fs::create_directory(w.ini());
        EXPECT_TRUE(w.closed->wait(4 * interval));
        EXPECT_EQ(w.ui.messages.size(), 1u);
        EXPECT_EQ(w.closed->count(), 1);
    }
}

// With the window's own message boxes, which wait for an answer that nobody left can give.
TEST(CompletionStatus, AHostThatGoesAwayClosesWhateverBoxIsOpenAndTheWindowEnds) {
    bool hostExists = true;
    std::vector<std::string> answered;  // what the action's dialogs gave back
    Actions actions;
    actions.exportar = [&](RunState&, UserInterface& ui) {
        ui.showMessage("Proceso finalizado");
        answered.push_back(ui.chooseXmlFile() ? "a file" : "cancelled");
        ui.showMessage("not shown");
        return std::optional<toworkdb::ConversionReport>();
    };
    const struct {
        const char* what;
        std::function<void(TMForm&)> start;
        std::vector<std::string> answered;
    } cases[] = {
        {"the box of a failed write", [](TMForm& form) { form.close(); }, {}},
        {"an action's box, then its dialog",
         [](TMForm& form) { form.BExportarClick(); },
         {"cancelled"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        hostExists = true;
        answered.clear();
        TMForm form({"exportar", kHandle}, actions);
        form.setSettingsDir(dir.path());
        form.setVirtualStore(std::nullopt);
        form.setHostWindowCheck([&] { return hostExists; });
        fs::create_directory(dir / "Morvalen.ini");  // the status cannot be written
        QSignalSpy closed(&form, &TMForm::closed);
        form.show();
        QStringList shown;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                shown << box->text();
            hostExists = false;
        });
        c.start(form);  // returns once nobody is left to answer
        EXPECT_FALSE(shown.isEmpty());
        EXPECT_EQ(answered, c.answered);
        EXPECT_TRUE(closed.count() == 1 || closed.wait(4 * TMForm::kHostWatchInterval));
    }
}

#ifdef LINDAVEX_HAVE_TOWORKDB
TEST(CompletionStatus, FirstActionWithTheLibrary) {
    // Missing input in embedded mode: -1, and the action closes the window.
    {
        Window w({"exportar", kHandle}, {&runConversion, {}, {}});
        w.form->BExportar->click();
        EXPECT_EQ(w.ui.messages, std::vector<std::string>{"No existe archivo"});
        EXPECT_EQ(w.closed->count(), 1);
        EXPECT_EQ(w.status(), "-1");
    }
    // Missing input outside embedded mode: the status stays 0 and the window stays open.
    {
        Window w({}, {&runConversion, {}, {}});
        w.form->BExportar->click();
        EXPECT_EQ(w.form->runState().completionStatus, 0);
        EXPECT_EQ(w.closed->count(), 0);
    }
    // A completed run: "Proceso finalizado" first, then the window closes with 1.
    {
        Window w({"exportar", kHandle}, {&runConversion, {}, {}});
        fs::create_directory(w.dir / "WTEMP");
        std::ofstream(w.dir / "centro.xml")
            << "<?xml version=\"1.0\"?>\n<Centro Codigo=\"1\" Nombre=\"IES\" CursoEscolar=\"2026\" "
               "Version=\"1\"/>\n";
        w.ui.dialogAnswers.push_back(w.dir / "centro.xml");
        w.form->BExportar->click();
        EXPECT_EQ(w.ui.messages, std::vector<std::string>{"Proceso finalizado"});
        EXPECT_EQ(w.closed->count(), 1);
        EXPECT_EQ(w.status(), "1");
    }
}

// The second action's "Proceso finalizado" has details only when SOLUC lost something.
TEST(CompletionStatus, SecondActionShowsWhatTheTimetableLostInTheDetails) {
    Window w({},
             {&runConversion, [](RunState& s, UserInterface& ui) { runResultExport(s, ui); }, {}});
    fs::create_directory(w.dir / "WTEMP");
    std::ofstream(w.dir / "centro.xml")
        << "<Centro Codigo=\"1\" Nombre=\"IES\" CursoEscolar=\"2026\" Version=\"1\">"
           "<Materias><Materia Codigo=\"MAT\"/></Materias><Grupos><Grupo Codigo=\"1A\"/></Grupos>"
           "<Sesiones><Sesion Dia=\"L\" HoraInicio=\"08:00\" HoraFin=\"08:55\"/></Sesiones>"
           "</Centro>";
    w.ui.dialogAnswers.push_back(w.dir / "centro.xml");
    w.form->BExportar->click();
    for (const bool lost : {false, true}) {
        std::vector<testing::Solution> rows = {{"MAT", "CCM", 1, 1, "1A", "", ""}};
        if (lost) rows.push_back({"MAT", "CCM", 1, 1, "9Z", "", ""});
        testing::writeSolutionTable(w.dir / "WTEMP", rows);
        w.form->BImportar->click();  // the dialog cancelled: the file chosen before
        EXPECT_EQ(w.ui.messages.back(), "Proceso finalizado");
        const std::string& details = w.ui.details.back();
        EXPECT_EQ(details.empty(), !lost) << details;
        if (lost) {
            EXPECT_NE(details.find("\n  registro 2 (fila de materia)"), std::string::npos);
        }
    }
}

// "Copias…" in the free-running window lists the kept copies and asks before putting one back;
// the product's window, inside a host window, shows only its action. Also run on an X display.
TEST(Copias, TheFreeWindowListsTheCopiesAndTheProductsWindowHasNoButton) {
    ScratchDir dir;
    const fs::path workDb = dir / "WTEMP";
    fs::create_directory(workDb);
    {
        // A second run keeps the first run's tables as a copy.
        RunState runs;
        runs.workDb = workDb;
        RecordingUi ui;
        const fs::path source = LINDAVEX_SOURCE_DIR;
        ui.dialogAnswers = {source / "fuzz/corpus/centre_document/small.xml",
                            source / "examples/centro.xml"};
        runConversion(runs, ui);
        runConversion(runs, ui);
    }
    const auto copies = store::tableCopies(workDb, store::restoredWorkTables());
    ASSERT_EQ(copies.size(), 1u);
    const QString name = QString::fromStdString(copies[0].name);
    const auto before = testing::snapshot(workDb);

    int ran = 0;
    Actions actions;
    actions.copias = [&](RunState& state, UserInterface& ui) {
        ++ran;
        runCopyRestore(state, ui);
    };
    TMForm form({}, actions);
    form.runState().workDb = workDb;
    form.show();
    EXPECT_TRUE(form.BCopias->isVisibleTo(&form));
    EXPECT_EQ(form.BCopias->text(), "Copias…");
    EXPECT_EQ(form.BCopias->parentWidget(), form.Draw3D1);
    EXPECT_TRUE(form.Draw3D1->rect().contains(form.BCopias->geometry()));
    for (const QWidget* other : std::initializer_list<const QWidget*>{
             form.BClose, form.Button1, form.Label1, form.ListBoxPlanti})
        EXPECT_FALSE(form.BCopias->geometry().intersects(other->geometry()))
            << other->objectName().toStdString();

    // The copy is listed; "Restaurar" asks first, and "No" leaves everything as it was.
    QStringList rows;
    QString question;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        const auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("ListaCopias"));
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            rows << QStringList{item->text(0), item->text(1), item->text(3)}.join('|');
        }
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                question = box->text();
                box->button(QMessageBox::No)->click();
            }
        });
        dialog->findChild<QPushButton*>(QStringLiteral("BRestaurar"))->click();
    });
    form.BCopias->click();
    EXPECT_EQ(rows, QStringList{name + "|7|"});
    EXPECT_TRUE(question.startsWith("¿Restaurar la copia " + name + " (7 tablas, "))
        << question.toStdString();
    EXPECT_EQ(testing::snapshot(workDb), before);
    EXPECT_EQ(ran, 1);

    // A window of the test stands in for the product's.
    QWidget host;
    host.resize(632, 266);
    host.show();
    const QString handle = QString::number(host.winId(), 16).toUpper();
    for (const char* mode : {"exportar", "importar", "ayuda"}) {
        SCOPED_TRACE(mode);
        TMForm embedded({QString::fromLatin1(mode), handle}, actions);
        embedded.setSettingsDir(dir.path());
        embedded.setVirtualStore(std::nullopt);
        embedded.runState().workDb = workDb;
        embedded.show();
        EXPECT_TRUE(embedded.runState().embedded());
        EXPECT_FALSE(embedded.BCopias->isVisibleTo(&embedded));
        embedded.BCopiasClick();  // even asked directly
        EXPECT_EQ(ran, 1);
    }
}
#endif

TEST(RealWidgets, AnErrorIsShownInAMessageBoxAndTheWaitCursorIsGone) {
    ScratchDir dir;
    Actions actions;
    actions.exportar = [](RunState&,
                          UserInterface& ui) -> std::optional<toworkdb::ConversionReport> {
        ui.setWaitCursor(true);
        throw std::runtime_error("'x' is not a valid integer value");
    };
    TMForm form({}, actions);
    form.show();
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    form.BExportar->click();
    EXPECT_EQ(shown, "'x' is not a valid integer value");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form.isVisible());
}

TEST(RealWidgets, TheFileDialogIsTheArchivoXmlDialog) {
    TMForm form({}, {});
    form.show();
    QString title, filter, suffix;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            filter = dialog->nameFilters().join('|');
            suffix = dialog->defaultSuffix();
            dialog->reject();
        }
    });
    EXPECT_FALSE(form.ui().chooseXmlFile());
    EXPECT_EQ(title, "Archivo XML");
    EXPECT_EQ(filter, "*.xml");
    EXPECT_EQ(suffix, "xml");
}

TEST(RealWidgets, QtsOwnTextsAreSpanish) {
    ASSERT_TRUE(installSpanishTranslations()) << "qt6-translations-l10n is not installed";
    QFileDialog dialog(nullptr, QStringLiteral("Archivo XML"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Lindavex"), QStringLiteral("x"),
                    QMessageBox::Ok);
    const auto label = [&](const char* name) {
        return dialog.findChild<QLabel*>(QString::fromLatin1(name))->text();
    };
    const auto dialogButton = [&](QDialogButtonBox::StandardButton which) {
        return dialog.findChild<QDialogButtonBox*>()->button(which)->text();
    };
    const struct {
        QString shown;
        const char* spanish;
    } texts[] = {
        {label("lookInLabel"), "Ver en:"},
        {label("fileNameLabel"), "&Nombre de fichero:"},
        {label("fileTypeLabel"), "Ficheros de tipo:"},
        {dialogButton(QDialogButtonBox::Open), "&Abrir"},
        {dialogButton(QDialogButtonBox::Cancel), "Cancelar"},
        {box.button(QMessageBox::Ok)->text(), "Aceptar"},
    };
    for (const auto& t : texts) EXPECT_EQ(t.shown.toStdString(), t.spanish);
    // Everything after this test sees the Spanish texts too, as the program does.
}

TEST(RealWidgets, DetailsOpenFromAMostrarDetallesButtonBelowTheMessage) {
    installSpanishTranslations();  // as the program does: Qt's own label is then Spanish
    TMForm form({}, {});
    form.show();
    QString text, details;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            details = box->detailedText();
            for (QAbstractButton* button : box->buttons()) {
                buttons << button->text();
                if (box->buttonRole(button) != QMessageBox::ActionRole) continue;
                button->click();  // opened, and labelled for closing
                QCoreApplication::processEvents();
                buttons << button->text();
            }
            box->button(QMessageBox::Ok)->click();
        }
    });
    form.ui().showMessageWithDetails("Proceso finalizado", "  PROFT: P0001-LARGO → P0001-LARG\n");
    EXPECT_EQ(text.toStdString(), "Proceso finalizado");
    EXPECT_EQ(details.toStdString(), "  PROFT: P0001-LARGO → P0001-LARG\n");
    EXPECT_TRUE(buttons.contains(QStringLiteral("Mostrar detalles…")))
        << buttons.join('|').toStdString();
}

TEST(Keyboard, EnterPressesTheFocusedOkAndAltSCloses) {
    int ran = 0;
    Actions actions;
    actions.exportar = [&](RunState&, UserInterface&) {
        ++ran;
        return std::optional<toworkdb::ConversionReport>();
    };
    Window w({"exportar", kHandle}, actions);
    QTest::keyClick(w.form->BExportar, Qt::Key_Return);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(w.closed->count(), 0);
    // At the window itself, where a window inside a host that is never active gets it.
    QTest::keyClick(w.form.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(w.closed->count(), 1);
    EXPECT_EQ(w.status(), "0");
}

TEST(Help, F1AsksForContext3AndTheButtonForTheContents) {
    std::vector<HtmlHelpCall> calls;
    TMForm form({}, {});
    form.setHtmlHelp([&](const HtmlHelpCall& call) { calls.push_back(call); });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(form.BExportar, Qt::Key_F1);
    form.Button1->click();
    ASSERT_EQ(calls.size(), 2u);
    // The help file beside the program, however the platform writes its folder separators.
    const fs::path file =
        (fs::path(QCoreApplication::applicationDirPath().toStdU16String()) / "RIDAZ.chm")
            .lexically_normal();
    EXPECT_EQ(calls[0].command, HH_HELP_CONTEXT);
    EXPECT_EQ(calls[0].number, 3u);
    EXPECT_EQ(fs::path(calls[0].file.value_or("")).lexically_normal(), file);
    EXPECT_EQ(calls[1].command, HH_DISPLAY_TOC);
    EXPECT_EQ(fs::path(calls[1].file.value_or("")).lexically_normal(), file);
}

}  // namespace
}  // namespace lindavex::shell

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Offscreen unless the runner names a platform (Qt for Windows has no offscreen plugin; its
    // runs pass -platform windows).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
