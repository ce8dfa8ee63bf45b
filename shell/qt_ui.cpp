#include "shell/qt_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QWidget>

#include <memory>

namespace lindavex::shell {

QtUi::~QtUi() {
    if (waitCursors_ > 0) QApplication::restoreOverrideCursor();
}

std::optional<std::filesystem::path> QtUi::chooseXmlFile() {
    if (abandoned_) return std::nullopt;
    // A typed name of a missing file is accepted here; the action reports it.
    QFileDialog dialog(&window_, QStringLiteral("Archivo XML"), QString(), QStringLiteral("*.xml"));
    dialog.setObjectName(QStringLiteral("OpenDialogXML"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    // The same dialog on every desktop, so that it can be driven the same way everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    // UTF-16 keeps accents and ñ in the path on every platform.
    return std::filesystem::path(dialog.selectedFiles().constFirst().toStdU16String());
}

void QtUi::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                    QString::fromStdString(text), QMessageBox::Ok, &window_);
    show(box);
}

void QtUi::showMessageWithDetails(const std::string& text, const std::string& details) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                    QString::fromStdString(text), QMessageBox::Ok, &window_);
    box.setDetailedText(QString::fromStdString(details));
    // The button that opens and closes the details, in the words of the rest of the window,
    // whether or not Qt's own Spanish texts are there. Qt relabels it on each click, so it is
    // labelled again once Qt has.
    const auto relabel = [](QAbstractButton* button) {
        if (button->text() == QMessageBox::tr("Show Details...")) {
            button->setText(QStringLiteral("Mostrar detalles…"));
        } else if (button->text() == QMessageBox::tr("Hide Details...")) {
            button->setText(QStringLiteral("Ocultar detalles…"));
        }
    };
    for (QAbstractButton* button : box.buttons()) {
        if (box.buttonRole(button) != QMessageBox::ActionRole) continue;
        relabel(button);
        QObject::connect(
            button, &QAbstractButton::clicked, button, [=] { relabel(button); },
            Qt::QueuedConnection);
    }
    show(box);
}

void QtUi::show(QMessageBox& box) {
    if (abandoned_) return;
    // The wait cursor must not hide the box's button.
    const bool waiting = waitCursors_ > 0;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (waiting) QApplication::restoreOverrideCursor();
}

void QtUi::setWaitCursor(bool on) {
    if (on && waitCursors_ == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++waitCursors_;
    } else if (!on && waitCursors_ > 0) {
        QApplication::restoreOverrideCursor();
        --waitCursors_;
    }
}

void QtUi::closeWindow() { window_.close(); }

void QtUi::abandon() {
    abandoned_ = true;
    // Each box and dialog runs its own event loop inside the action or the close that opened
    // it; ending them lets that code go on to its end.
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible())
            dialog->done(QDialog::Rejected);
}

bool installSpanishTranslations() {
    // Qt's installed translations first; a build that ships its own keeps them in a folder
    // "translations" beside the executable.
    const QString folders[] = {
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    for (const QString& folder : folders) {
        if (translator->load(QStringLiteral("qtbase_es"), folder)) {
            QCoreApplication::installTranslator(translator.release());
            return true;
        }
    }
    return false;
}

}  // namespace lindavex::shell
