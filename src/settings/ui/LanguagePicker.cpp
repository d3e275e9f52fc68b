#include "settings/ui/LanguagePicker.h"

#include "platform/TextRecognizer.h"
#include "settings/Prefs.h"
#include "shelf/Theme.h"

#include <QAction>
#include <QMenu>

LanguagePicker::LanguagePicker(QWidget* parent, const QStringList& installed)
    : QPushButton(parent)
    , m_installed(installed)
    , m_menu(new QMenu(this)) {
    setObjectName(QString::fromLatin1(Key::ocrLanguages));
    setFont(Theme::font(12.5));
    std::sort(m_installed.begin(), m_installed.end(), [](const QString& a, const QString& b) {
        return TextRecognizer::displayName(a).localeAwareCompare(TextRecognizer::displayName(b)) <
               0;
    });
    for (const QString& code : std::as_const(m_installed)) {
        QAction* action = m_menu->addAction(TextRecognizer::displayName(code));
        action->setCheckable(true);
        action->setData(code);
        connect(action, &QAction::triggered, this, [this, code](bool on) { toggle(code, on); });
    }
    setMenu(m_menu);
    connect(&Prefs::shared(), &Prefs::changed, this, &LanguagePicker::refresh);
    refresh();
}

QStringList LanguagePicker::installedLanguages() {
    return TextRecognizer::installedLanguages();
}

QStringList LanguagePicker::chosen() const {
    const QString stored = Prefs::shared().string(Key::ocrLanguages);
    return TextRecognizer::effectiveLanguages(stored, m_installed)
        .split(QLatin1Char('+'), Qt::SkipEmptyParts);
}

void LanguagePicker::toggle(const QString& code, bool on) {
    QStringList codes = chosen();
    if (on && !codes.contains(code))
        codes.append(code);
    else if (!on && codes.size() > 1)
        codes.removeAll(code);
    // Stored in the list's order, so one choice is always written the same way.
    QStringList ordered;
    for (const QString& c : std::as_const(m_installed))
        if (codes.contains(c))
            ordered.append(c);
    Prefs::shared().set(Key::ocrLanguages, ordered.join(QLatin1Char('+')));
    refresh(); // also when nothing changed: the refused click unchecks no row
}

void LanguagePicker::refresh() {
    const QStringList codes = chosen();
    QStringList names;
    for (QAction* action : m_menu->actions()) {
        const bool on = codes.contains(action->data().toString());
        action->setChecked(on);
        if (on)
            names.append(action->text());
    }
    if (names.isEmpty()) // the data is missing altogether
        names.append(TextRecognizer::displayName(QStringLiteral("eng")));
    setText(names.join(QStringLiteral(", ")));
}
