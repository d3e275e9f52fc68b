#include "panel/ScreenChoice.h"

#include "settings/Prefs.h"

#include <QGuiApplication>
#include <QScreen>

namespace ScreenChoice {

QString named(const QString& name) {
    return QLatin1String(outputPrefix) + name;
}

int pick(const QList<Screen>& screens, int primary, const QString& choice,
         std::optional<QPoint> pointerAt) {
    if (screens.isEmpty())
        return -1;
    const int fallback = primary >= 0 && primary < screens.size() ? primary : 0;
    if (choice.startsWith(QLatin1String(outputPrefix))) {
        const QString name = choice.mid(int(qstrlen(outputPrefix)));
        for (int i = 0; i < screens.size(); ++i) {
            if (screens[i].name == name)
                return i;
        }
        return fallback; // unplugged: back when it returns
    }
    if (choice == QLatin1String(pointer) && pointerAt) {
        for (int i = 0; i < screens.size(); ++i) {
            if (screens[i].geometry.contains(*pointerAt))
                return i;
        }
    }
    return fallback;
}

namespace {

QScreen* chosen(std::optional<QPoint> pointerAt) {
    const QList<QScreen*> all = QGuiApplication::screens();
    QList<Screen> screens;
    for (const QScreen* s : all)
        screens.append({s->name(), s->geometry()});
    const int i = pick(screens, int(all.indexOf(QGuiApplication::primaryScreen())),
                       Prefs::shared().string(Key::screen), pointerAt);
    return i < 0 ? nullptr : all[i];
}

} // namespace

QScreen* tabScreen() {
    return chosen(std::nullopt);
}

QScreen* openScreen(const QPoint& pointerAt) {
    return chosen(pointerAt);
}

QScreen* byName(const QString& name) {
    for (QScreen* s : QGuiApplication::screens()) {
        if (s->name() == name)
            return s;
    }
    return nullptr;
}

} // namespace ScreenChoice
