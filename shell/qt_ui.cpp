#include "shell/qt_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

#include "store/workdb/copy_texts.h"

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

std::optional<std::size_t> QtUi::chooseCopy(const std::vector<store::TableCopy>& copies) {
    const auto text = [](const std::string& utf8) { return QString::fromStdString(utf8); };
    QDialog dialog(&window_);
    dialog.setObjectName(QStringLiteral("DialogCopias"));
    dialog.setWindowTitle(QStringLiteral("Copias de las tablas"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Tablas que se sustituyeron, de la copia más "
                                                "reciente a la más antigua. Elija la que quiere "
                                                "restaurar:"),
                                 &dialog));
    auto* list = new QTreeWidget(&dialog);
    list->setObjectName(QStringLiteral("ListaCopias"));
    list->setHeaderLabels({QStringLiteral("Copia"), QStringLiteral("Tablas"),
                           QStringLiteral("Registros"), QStringLiteral("Estado")});
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const store::TableCopy& copy = copies[i];
        const std::optional<std::size_t> records = store::copyRecords(copy);
        auto* item =
            new QTreeWidgetItem(list, {text(copy.name), QString::number(copy.tables.size()),
                                       records ? QString::number(*records) : QString(),
                                       text(store::damagedCopyText(copy))});
        item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<qulonglong>(i)));
        for (const store::CopiedTable& table : copy.tables) {
            auto* row = new QTreeWidgetItem(
                item, {text(table.file), QString(),
                       table.records ? QString::number(*table.records) : QString(),
                       table.records ? QString() : text(store::copiedTableText(table))});
            row->setFlags(Qt::ItemIsEnabled);  // a table is shown, the copy is chosen
        }
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &dialog);
    QPushButton* restore =
        buttons->addButton(QStringLiteral("Restaurar"), QDialogButtonBox::AcceptRole);
    restore->setObjectName(QStringLiteral("BRestaurar"));
    layout->addWidget(buttons);
    // Only a sound copy, chosen as a whole, can be restored.
    const auto sound = [&](const QTreeWidgetItem* item) {
        return item != nullptr && item->parent() == nullptr &&
               copies[item->data(0, Qt::UserRole).toULongLong()].problems.empty();
    };
    QObject::connect(list, &QTreeWidget::currentItemChanged, restore,
                     [=](QTreeWidgetItem* item) { restore->setEnabled(sound(item)); });
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &dialog, [&](QTreeWidgetItem* item) {
        if (sound(item)) dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    restore->setEnabled(false);
    if (list->topLevelItemCount() > 0) list->setCurrentItem(list->topLevelItem(0));
    dialog.resize(560, 320);
    if (show(dialog) != QDialog::Accepted || !sound(list->currentItem())) return std::nullopt;
    return static_cast<std::size_t>(list->currentItem()->data(0, Qt::UserRole).toULongLong());
}

bool QtUi::confirm(const std::string& question) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                    QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No, &window_);
    box.setDefaultButton(QMessageBox::No);
    return show(box) == QMessageBox::Yes;
}

int QtUi::show(QDialog& dialog) {
    if (abandoned_) return QDialog::Rejected;
    // The wait cursor must not hide the box's button.
    const bool waiting = waitCursors_ > 0;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = dialog.exec();
    if (waiting) QApplication::restoreOverrideCursor();
    return result;
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
