#include "shell/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <exception>

#include "shell/controller.h"
#include "shell/platform.h"
#include "shell/qt_ui.h"
#include "store/codepage.h"
#include "store/convert.h"
#include "store/error.h"
#include "store/workdb/workdb.h"

namespace lindavex::shell {
namespace {

// "MS Sans Serif" and Arial are rarely installed outside Windows: the nearest sans-serif
// faces follow them. Sizes are in pixels so that the layout matches at any screen resolution.
QFont windowFont(int pixelSize, bool bold, const QString& first) {
    QFont font;
    font.setFamilies({first, QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

constexpr int kClientWidth = 632;
constexpr int kClientHeight = 266;
constexpr int kTopHeight = 169;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

QLabel* titleLabel(QWidget* panel, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), panel);
    label->setFont(windowFont(16, true, QStringLiteral("Arial")));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(24, 24, 267, 80);
    return label;
}

QPushButton* button(QWidget* panel, const QString& caption, int x, int y,
                    QStyle::StandardPixmap icon) {
    auto* pushButton = new QPushButton(caption, panel);
    // Enter presses the focused button, as in a dialog.
    pushButton->setAutoDefault(true);
    pushButton->setIcon(pushButton->style()->standardIcon(icon));
    pushButton->setGeometry(x, y, kButtonWidth, kButtonHeight);
    return pushButton;
}

}  // namespace

GradientPanel::GradientPanel(QWidget* parent, QColor from, QColor middle, QColor to, QColor ground)
    : QWidget(parent), from_(from), middle_(middle), to_(to), ground_(ground) {}

void GradientPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ground_);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, from_);
    gradient.setColorAt(0.5, middle_);
    gradient.setColorAt(1.0, to_);
    painter.fillRect(rect().adjusted(1, 1, -1, -1), gradient);
}

TMForm::TMForm(const QStringList& arguments, Actions actions, UserInterface* ui, QWidget* parent)
    : QWidget(parent),
      actions_(std::move(actions)),
      settingsDir_(platform::executableDir()),
      virtualStore_(platform::virtualStore()) {
    setObjectName(QStringLiteral("MForm"));
    if (ui != nullptr) {
        ui_ = ui;
    } else {
        ownUi_ = std::make_unique<QtUi>(*this);
        ui_ = ownUi_.get();
    }
    state_.workDb = store::defaultWorkDb();
    setHtmlHelp(platform::htmlHelp());
    buildControls();
    FormCreate(arguments);
}

TMForm::~TMForm() {
    // The host window is not ours: detach from it before our native window goes.
    if (hostWindow_ != nullptr && windowHandle() != nullptr) windowHandle()->setParent(nullptr);
    delete hostWindow_;
}

void TMForm::setHtmlHelp(HtmlHelpFunction htmlHelp) {
    helpViewer_ = std::make_unique<HelpViewer>(std::move(htmlHelp), platform::executableDir());
    helpViewer_->setApplicationHelpFile(kHelpFileName);
    helpViewer_->registerWith(
        HelpManager{{}, [this] { return static_cast<std::uintptr_t>(winId()); }, {}}, 0);
}

void TMForm::buildControls() {
    setWindowTitle(QStringLiteral("Exportar e importar datos entre Morvalen y Pincel-rIdaz"));
    setFont(windowFont(11, false, QStringLiteral("MS Sans Serif")));
    // A fixed dialog border: a close button, nothing to resize, maximise or minimise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);

    // The two action panels: the same gradient, a title and an "OK" button each.
    const auto actionPanel = [this](const char* name, int x, int width, const char* title,
                                    QLabel*& label, QPushButton*& okButton,
                                    const char* buttonName) {
        const QColor gold(0xF9, 0xD3, 0x7D), cream(0xFF, 0xEE, 0xDD);
        auto* panel = new GradientPanel(this, gold, Qt::white, cream, cream);
        panel->setObjectName(QString::fromLatin1(name));
        panel->setGeometry(x, 0, width, kTopHeight);
        label = titleLabel(panel, title);
        okButton = button(panel, QStringLiteral("OK"), 96, 120, QStyle::SP_DialogOkButton);
        okButton->setObjectName(QString::fromLatin1(buttonName));
        return panel;
    };
    Draw3D2 = actionPanel("Draw3D2", 0, 315, "Transformar datos desde Pincel-rIdaz hacia Morvalen ",
                          Label3, BExportar, "BExportar");
    Draw3D3 =
        actionPanel("Draw3D3", 316, 317, "Transformar datos desde Morvalen hacia Pincel-rIdaz",
                    Label4, BImportar, "BImportar");

    const QColor ground(0xCC, 0xD8, 0xE6);
    Draw3D1 =
        new GradientPanel(this, QColor(0xC2, 0xCD, 0xFE), QColor(0xCF, 0xF2, 0xFE), ground, ground);
    Draw3D1->setObjectName(QStringLiteral("Draw3D1"));
    Draw3D1->setGeometry(0, 168, 633, 97);
    Label1 = new QLabel(QStringLiteral("Lindavex para RV17 V-1.0"), Draw3D1);
    Label1->setFont(windowFont(11, true, QStringLiteral("MS Sans Serif")));
    Label1->setStyleSheet(QStringLiteral("color: #FF0000"));
    Label1->move(8, 72);
    BClose = button(Draw3D1, QStringLiteral("&Salir"), 256, 32, QStyle::SP_DialogCloseButton);
    BClose->setObjectName(QStringLiteral("BClose"));
    Button1 = new QPushButton(QStringLiteral("F1 Ayuda"), Draw3D1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(48, 40, kButtonWidth, kButtonHeight);
    Button1->setAutoDefault(true);
    // Right of "Salir", clear of the hidden list at the panel's right edge.
    BCopias = new QPushButton(QStringLiteral("Copias…"), Draw3D1);
    BCopias->setObjectName(QStringLiteral("BCopias"));
    BCopias->setGeometry(368, 32, kButtonWidth, kButtonHeight);
    BCopias->setAutoDefault(true);
    ListBoxPlanti = new QListWidget(Draw3D1);
    ListBoxPlanti->setObjectName(QStringLiteral("ListBoxPlanti"));
    ListBoxPlanti->setFont(windowFont(11, true, QStringLiteral("MS Sans Serif")));
    ListBoxPlanti->setStyleSheet(QStringLiteral("color: #0000FF"));
    ListBoxPlanti->setGeometry(512, 8, 113, 81);
    ListBoxPlanti->hide();

    connect(BExportar, &QPushButton::clicked, this, [this] { BExportarClick(); });
    connect(BImportar, &QPushButton::clicked, this, [this] { BImportarClick(); });
    connect(BClose, &QPushButton::clicked, this, [this] { close(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(BCopias, &QPushButton::clicked, this, [this] { BCopiasClick(); });
}

std::optional<std::int32_t> hostHandle(const QStringList& arguments) {
    if (arguments.size() != 2) return std::nullopt;
    return convert::toInt(codepage::fromUtf8("$" + arguments.at(1).toStdString()));
}

bool startsEmbedded(const QStringList& arguments) {
    try {
        return hostHandle(arguments).has_value();
    } catch (const std::exception&) {
        return false;
    }
}

void TMForm::FormCreate(const QStringList& arguments) {
    state_.completionStatus = 0;
    if (arguments.size() == 2) {
        try {
            embedIn(platform::hostWindowId(*hostHandle(arguments)));
            state_.argumentCount = 2;
            // The product's window shows only its action.
            BCopias->hide();
            const QString mode = arguments.at(0).toLower();
            if (mode == QLatin1String("importar")) {
                Draw3D2->hide();
                Draw3D3->setGeometry(0, 0, kClientWidth, kTopHeight);
            } else if (mode == QLatin1String("exportar")) {
                Draw3D3->hide();
                Draw3D2->setGeometry(0, 0, kClientWidth, kTopHeight);
            }
        } catch (const std::exception& error) {
            // A handle that does not convert: say so, then run free as without arguments.
            ui_->showMessage(error.what());
        }
    }
}

void TMForm::embedIn(WId parentWindow) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    move(0, 0);
    // The product may close or crash while this window runs inside it. Without the host nobody
    // can see or close this window, and it may hold the work tables: it then ends as if closed.
    hostExists_ = [parentWindow] { return platform::windowExists(parentWindow); };
    hostWatch_ = new QTimer(this);
    hostWatch_->setInterval(kHostWatchInterval);
    connect(hostWatch_, &QTimer::timeout, this, [this] { watchHost(); });
    hostWatch_->start();
    hostWindow_ = QWindow::fromWinId(parentWindow);
    // Platforms without foreign windows (offscreen) give none; the window then runs unparented.
    if (hostWindow_ == nullptr) return;
    winId();
    windowHandle()->setParent(hostWindow_);
    platform::keepFromNotifyingHost(winId());
    // The host's window is the active one, never this child: the keyboard reaches it only once
    // it has the focus, which it takes when it shows and whenever it is clicked.
    windowHandle()->installEventFilter(this);
}

bool TMForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::MouseButtonPress && !isActiveWindow())
        activateWindow();
    return QWidget::eventFilter(watched, event);
}

void TMForm::FormShow() {
    if (checkedWorkDb_) return;
    checkedWorkDb_ = true;
    // Once the window is up, so that a message about it has the window behind it.
    QTimer::singleShot(0, this, [this] { repairAtStart(state_, *ui_); });
}

void TMForm::keyPressEvent(QKeyEvent* event) {
    // F1 anywhere in the window: the window, its panels and buttons share one help context.
    // Handled as the key reaches the window rather than as a shortcut, because a window inside
    // a foreign parent is often never the active window that shortcuts need.
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        helpViewer_->displayHelpByContext(kHelpContext);
        return;
    }
    // "&Salir" the same way, for when its shortcut did not see the key.
    if (QKeySequence(event->keyCombination()) == BClose->shortcut()) {
        BClose->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TMForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (hostWindow_ != nullptr && !event->spontaneous()) activateWindow();
    FormShow();
}

std::filesystem::path TMForm::settingsFile() const { return settingsDir_ / kSettingsFileName; }

bool TMForm::FormClose() {
    if (!state_.embedded()) return true;
    try {
        // Where the product reads it, even when Windows shows the product another copy.
        writeProfileStringSeenByLegacyPrograms(settingsFile(), virtualStore_, kSettingsSection,
                                               kSettingsKey,
                                               std::to_string(state_.completionStatus));
    } catch (const std::exception& error) {
        ui_->showMessage(error.what());
        return false;
    }
    return true;
}

void TMForm::closeEvent(QCloseEvent* event) {
    // The message box of a failed write runs the event loop too.
    ++busy_;
    const bool written = FormClose();
    if (!written) {
        event->ignore();
        if (hostGone_) endWithoutHost();
    }
    --busy_;
    if (!written) return;
    helpViewer_->softShutDown();
    event->accept();
    closed_ = true;
    emit closed();
}

void TMForm::watchHost() {
    if (hostGone_ || !hostExists_ || hostExists_()) return;
    hostGone_ = true;
    // Nobody is left to answer a box or a dialog: those open now close, later ones are skipped.
    ui_->abandon();
    // An action's dialogs run the event loop, so this can come in the middle of an action; it
    // is then left to finish (its tables are written whole or not at all) and runAction ends
    // the window when it returns. So does the close whose box of a failed write was open.
    if (busy_ == 0) endWithoutHost();
}

void TMForm::endWithoutHost() {
    hostWatch_->stop();
    if (closed_) return;
    // As if the user had closed the window: the status so far goes to the settings file. When
    // it cannot be written, that has been said, and there is no window left to try again from.
    if ((busy_ == 0 && close()) || closed_) return;
    hide();
    closed_ = true;
    emit closed();
}

template <class Action>
void TMForm::runAction(const Action& action) {
    ++busy_;
    try {
        action();
    } catch (const std::exception& error) {
        // The window's general error display: the text, then back to waiting for a button.
        // The cursor is restored here so that a failed run does not leave the hourglass.
        ui_->setWaitCursor(false);
        ui_->showMessage(error.what());
    }
    if (--busy_ == 0 && hostGone_) endWithoutHost();
}

void TMForm::BExportarClick() {
    runAction([this] {
        // The hidden list shows the working set of the last run that converted.
        if (const auto report = actions_.exportar(state_, *ui_)) {
            ListBoxPlanti->clear();
            for (const std::string& entry : report->workingSet)
                ListBoxPlanti->addItem(QString::fromStdString(codepage::toUtf8(entry)));
        }
    });
}

void TMForm::BImportarClick() {
    runAction([this] { actions_.importar(state_, *ui_); });
}

void TMForm::BCopiasClick() {
    if (state_.embedded() || !actions_.copias) return;
    runAction([this] { actions_.copias(state_, *ui_); });
}

void TMForm::Button1Click() {
    helpViewer_->setApplicationHelpFile(kHelpFileName);
    helpViewer_->showTableOfContents();
}

}  // namespace lindavex::shell
