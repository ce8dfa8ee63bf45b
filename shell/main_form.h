#pragma once
// The main window MForm: the two actions, the common controls, embedded mode inside a window
// of the Morvalen product, and the completion status written back on close.
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "shell/help_viewer.h"
#include "shell/run_state.h"
#include "shell/settings_file.h"
#include "toworkdb/conversion_run.h"

class QCloseEvent;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
class QWindow;

namespace lindavex::shell {

// What the buttons run; the program passes the library's, tests their own.
struct Actions {
    // BExportar: centre file to tables; no report when the run did not convert.
    std::function<std::optional<toworkdb::ConversionReport>(RunState&, UserInterface&)> exportar;
    std::function<void(RunState&, UserInterface&)> importar;  // BImportar: timetable to XML
    std::function<void(RunState&, UserInterface&)> copias;    // BCopias: a kept copy put back
};

// The host's window handle that the command line names: with exactly two arguments, the second
// in hexadecimal without prefix; no value for any other count. A second argument that does not
// convert raises the conversion error. The window embeds by it, and the process settles its
// display scaling by it before Qt starts (startsEmbedded), so that both agree.
std::optional<std::int32_t> hostHandle(const QStringList& arguments);
bool startsEmbedded(const QStringList& arguments);

// A panel painted with a vertical gradient through three colours on a ground colour.
class GradientPanel : public QWidget {
  public:
    GradientPanel(QWidget* parent, QColor from, QColor middle, QColor to, QColor ground);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor from_, middle_, to_, ground_;
};

class TMForm : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kHelpContext = 3;
    static constexpr const char* kSettingsFileName = "Morvalen.ini";
    static constexpr const char* kSettingsSection = "Transformadores";
    static constexpr const char* kSettingsKey = "Transformado";
    static constexpr const char* kHelpFileName = "RIDAZ.chm";

    // arguments: the command line without the program name. ui: the user interface the actions
    // and messages go through; null means this window's own widgets. The window is created
    // (FormCreate) here, so a bad parent handle is reported before it is shown.
    TMForm(const QStringList& arguments, Actions actions, UserInterface* ui = nullptr,
           QWidget* parent = nullptr);
    ~TMForm() override;

    RunState& runState() { return state_; }
    HelpViewer& helpViewer() { return *helpViewer_; }
    // Replaces the platform's HTML Help function (tests record the calls instead).
    void setHtmlHelp(HtmlHelpFunction htmlHelp);
    UserInterface& ui() { return *ui_; }
    // Where "Morvalen.ini" is written; the executable's folder unless set.
    void setSettingsDir(std::filesystem::path dir) { settingsDir_ = std::move(dir); }
    std::filesystem::path settingsFile() const;
    // Where Windows redirects the product's writes; the platform's unless set (tests stand in
    // for the user's VirtualStore, or set none).
    void setVirtualStore(std::optional<VirtualStore> virtualStore) {
        virtualStore_ = std::move(virtualStore);
    }
    // Replaces the test of whether the host window still exists (tests stand in for the host).
    void setHostWindowCheck(std::function<bool()> exists) { hostExists_ = std::move(exists); }
    // How often, in milliseconds, an embedded window looks for its host.
    static constexpr int kHostWatchInterval = 500;

    // The window's event handlers.
    void FormCreate(const QStringList& arguments);
    void FormShow();
    // Returns false when the window must stay open (the status could not be written).
    bool FormClose();
    void BExportarClick();
    void BImportarClick();
    void BCopiasClick();
    void Button1Click();

    GradientPanel* Draw3D1 = nullptr;  // common controls, bottom
    GradientPanel* Draw3D2 = nullptr;  // first action, left top
    GradientPanel* Draw3D3 = nullptr;  // second action, right top
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* BExportar = nullptr;
    QPushButton* BImportar = nullptr;
    QPushButton* BClose = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* BCopias = nullptr;  // the kept copies of the tables; free-running window only
    QListWidget* ListBoxPlanti = nullptr;

  signals:
    // The window has closed (after the status was written in embedded mode).
    void closed();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildControls();
    void embedIn(WId parentWindow);
    // Runs an action; the window's general error display shows what it throws.
    template <class Action>
    void runAction(const Action& action);
    void watchHost();
    void endWithoutHost();

    RunState state_;
    Actions actions_;
    bool checkedWorkDb_ = false;  // a run stopped midway put back, once, when first shown
    std::unique_ptr<UserInterface> ownUi_;
    UserInterface* ui_ = nullptr;
    std::unique_ptr<HelpViewer> helpViewer_;
    std::filesystem::path settingsDir_;
    std::optional<VirtualStore> virtualStore_;
    QWindow* hostWindow_ = nullptr;
    std::function<bool()> hostExists_;
    QTimer* hostWatch_ = nullptr;
    int busy_ = 0;  // an action or the close handler is running
    bool hostGone_ = false;
    bool closed_ = false;
};

// The actions of the linked libraries; an action whose library is not built raises an error.
Actions libraryActions();

}  // namespace lindavex::shell
