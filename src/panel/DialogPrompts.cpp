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
                                             const QString& initial, const QString& ok,
                                             const Attempt& attempt) {
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
    text->setTextFormat(Qt::PlainText);
    layout->addWidget(text);
    auto* field = new QLineEdit(initial);
    field->setPlaceholderText(QStringLiteral("Name"));
    field->setFixedSize(280, 24);
    field->selectAll();
    layout->addWidget(field);
    // Why the last name was not taken; empty until then.
    auto* problem = new QLabel;
    problem->setObjectName(QStringLiteral("problem"));
    problem->setTextFormat(Qt::PlainText);
    problem->setWordWrap(true);
    QPalette warn = problem->palette();
    warn.setColor(QPalette::WindowText, QColor(255, 138, 128));
    problem->setPalette(warn);
    problem->hide();
    layout->addWidget(problem);
    auto* buttons = new QDialogButtonBox;
    QPushButton* accept = buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    accept->setDefault(true);
    const auto typed = [field] { return field->text().trimmed(); };
    accept->setEnabled(!typed().isEmpty());
    QObject::connect(field, &QLineEdit::textChanged, &dialog, [accept, problem, typed] {
        accept->setEnabled(!typed().isEmpty());
        problem->hide();
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        const QString name = typed();
        if (name.isEmpty())
            return;
        const QString why = attempt ? attempt(name) : QString();
        if (why.isEmpty()) {
            dialog.accept();
            return;
        }
        problem->setText(why);
        problem->show();
        field->selectAll();
        field->setFocus();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.setModal(true);
    present(&dialog);
    field->setFocus();
    const bool chosen = dialog.exec() == QDialog::Accepted;
    const QString name = typed();
    m_hold(false);
    if (!chosen || name.isEmpty())
        return std::nullopt;
    return name;
}

bool DialogPrompts::confirm(const QString& title, const QString& info, const QString& ok) {
    m_hold(true);
    // Window managers shorten long titles mid-word; the question is in the body.
    QMessageBox box(QMessageBox::Warning, ok, title);
    box.setTextFormat(Qt::PlainText);
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
