#pragma once

#include <QPushButton>
#include <QStringList>

class QMenu;

/// The choice of languages text recognition reads: a button naming the
/// chosen ones that opens a list of the installed languages, each with a
/// check mark. Writes "t2.ocrLanguages" at once and follows its changes.
class LanguagePicker : public QPushButton {
    Q_OBJECT
public:
    /// `installed`: the language codes to offer (the installed data by default).
    explicit LanguagePicker(QWidget* parent = nullptr,
                            const QStringList& installed = installedLanguages());

    /// The codes chosen now: the stored ones that are installed, or the
    /// default choice when none is stored.
    QStringList chosen() const;
    /// Checks or clears `code`; the last checked language stays checked.
    void toggle(const QString& code, bool on);
    QMenu* list() const { return m_menu; }

    static QStringList installedLanguages();

private:
    void refresh();

    QStringList m_installed; // in the order of their names
    QMenu* m_menu;
};
