#include "panel/DialogPrompts.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// Dialogs of a panel that lives on every desktop: above other windows, centred
// on the screen the pointer is on, and raised so the window manager gives them
// the keyboard.
void present(QWidget* dialog) {
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog->setAttribute(Qt::WA_ShowWithoutActivating, false);
    dialog->adjustSize();
    if (const QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

DialogPrompts::DialogPrompts(std::function<void(bool)> hold)
    : m_hold(std::move(hold)) {}

std::optional<QString> DialogPrompts::prompt(const QString& title, const QString& info,
                                             const QString& initial, const QString& ok) {
    m_hold(true);
    QDialog dialog;
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* heading = new QLabel(title);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* text = new QLabel(info);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* field = new QLineEdit(initial);
    field->setPlaceholderText(QStringLiteral("Name"));
    field->setFixedSize(280, 24);
    field->selectAll();
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox;
    QPushButton* accept = buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    accept->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.setModal(true);
    present(&dialog);
    field->setFocus();
    const bool chosen = dialog.exec() == QDialog::Accepted;
    const QString name = field->text().trimmed();
    m_hold(false);
    if (!chosen || name.isEmpty())
        return std::nullopt;
    return name;
}

bool DialogPrompts::confirm(const QString& title, const QString& info, const QString& ok) {
    m_hold(true);
    QMessageBox box(QMessageBox::Warning, title, title);
    box.setInformativeText(info);
    QPushButton* destructive = box.addButton(ok, QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(destructive);
    present(&box);
    box.exec();
    const bool chosen = box.clickedButton() == destructive;
    m_hold(false);
    return chosen;
}

void DialogPrompts::beep() {
    QApplication::beep();
}
