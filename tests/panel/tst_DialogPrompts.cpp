#include "PanelRig.h"
#include "TestEnv.h"
#include "panel/DialogPrompts.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// Acts on the modal dialog once it is up, as a person would.
void whenShown(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        if (QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }))
            act(QApplication::activeModalWidget());
    });
}

QPushButton* button(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

// The dialogs' answers; confirming and cancelling them in the real
// application, by their window titles: tst_MenuWalk.
class tst_DialogPrompts : public QObject {
    Q_OBJECT
private slots:
    // A blank name cannot be chosen; the answer is trimmed; a refused name
    // keeps the prompt open with the reason under the field until typing
    // clears it; the panel is held while it is up. (Typing into it: tst_MenuWalk.)
    void namePrompt() {
        QList<bool> holds;
        DialogPrompts prompts([&](bool on) { holds << on; });
        // Observed inside, checked after the dialog closed, so a failure
        // cannot leave it open and hang the test.
        QString initial, shown;
        bool blankEnabled = true, stillOpen = false, cleared = false;
        whenShown([&](QWidget* dialog) {
            auto* field = dialog->findChild<QLineEdit*>();
            auto* problem = dialog->findChild<QLabel*>("problem");
            initial = field->text();
            field->setText("   ");
            blankEnabled = button(dialog, "Create")->isEnabled();
            field->setText(".hidden");
            button(dialog, "Create")->click();
            shown = problem->isVisible() ? problem->text() : QString();
            stillOpen = dialog->isVisible();
            field->setText("  Receipts \n");
            cleared = !problem->isVisible();
            button(dialog, "Create")->click();
        });
        QStringList tried;
        const std::optional<QString> answer =
            prompts.prompt("New Folder", "", "initial", "Create", [&](const QString& name) {
                tried << name;
                return name.startsWith('.') ? QStringLiteral("A name can't start with a dot")
                                            : QString();
            });
        QCOMPARE(initial, QStringLiteral("initial"));
        QVERIFY(!blankEnabled);
        QCOMPARE(shown, QStringLiteral("A name can't start with a dot"));
        QVERIFY(stillOpen);
        QVERIFY(cleared);
        QCOMPARE(tried, (QStringList{".hidden", "Receipts"}));
        QCOMPARE(answer, std::optional<QString>(QStringLiteral("Receipts")));
        QCOMPARE(holds, (QList<bool>{true, false}));
    }

    // Without a script the controller asks with these dialogs: each holds the
    // open panel while it is up and gives the keyboard back to it once closed.
    void controllerHoldsAndTakesTheKeysBack() {
        PanelLibrary shots({{"Screenshot one.png", 10}});
        PanelRig r(*shots.lib, false, true);
        r.ctl->expand(false);
        int heldWhileUp = -1;
        whenShown([&](QWidget* dialog) {
            heldWhileUp = r.ctl->holds();
            button(dialog, "Cancel")->click();
        });
        r.ctl->menus().newFolderPrompt({});
        QCOMPARE(heldWhileUp, 1);
        QCOMPARE(r.ctl->holds(), 0);
        QCOMPARE(r.panel.keyTimestamps, QList<quint32>{0});
    }
};

TAMBERK_TEST(tst_DialogPrompts)
#include "tst_DialogPrompts.moc"
