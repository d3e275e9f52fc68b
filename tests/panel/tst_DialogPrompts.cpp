#include "PanelRig.h"
#include "TestEnv.h"
#include "panel/DialogPrompts.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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

class tst_DialogPrompts : public QObject {
    Q_OBJECT
private slots:
    // The name prompt shows its sized, named field with the given text, focused, and returns the
    // trimmed text only for the first button and a non-empty name; the hold is
    // released either way.
    void namePrompt_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("press");
        QTest::addColumn<QString>("expected"); // empty: no answer
        QTest::newRow("created") << "  Receipts \n"
                                 << "Create"
                                 << "Receipts";
        QTest::newRow("cancelled") << "Receipts"
                                   << "Cancel"
                                   << "";
        QTest::newRow("blank") << "   "
                               << "Create"
                               << "";
    }
    void namePrompt() {
        QFETCH(QString, typed);
        QFETCH(QString, press);
        QFETCH(QString, expected);
        QList<bool> holds;
        DialogPrompts prompts([&](bool on) { holds << on; });
        // Observations are checked after the dialog closed, so a failure cannot
        // leave it open and hang the test.
        QSize fieldSize;
        QString placeholder, initialText;
        bool focused = false, checked = false, createEnabled = false;
        whenShown([&](QWidget* dialog) {
            if (auto* field = dialog->findChild<QLineEdit*>()) {
                fieldSize = field->size();
                placeholder = field->placeholderText();
                initialText = field->text();
                focused = dialog->focusWidget() == field;
                field->setText(typed);
                checked = true;
            }
            // An empty name cannot be chosen at all.
            createEnabled = button(dialog, "Create")->isEnabled();
            QPushButton* pressed = button(dialog, press);
            (pressed->isEnabled() ? pressed : button(dialog, "Cancel"))->click();
        });
        const std::optional<QString> answer = prompts.prompt(
            "New Folder", "It goes inside “Shots”.", "initial", "Create", [](const QString& name) {
                return name.isEmpty() ? QStringLiteral("empty") : QString();
            });
        QVERIFY(checked);
        QCOMPARE(fieldSize, QSize(280, 24));
        QCOMPARE(placeholder, QStringLiteral("Name"));
        QCOMPARE(initialText, QStringLiteral("initial"));
        QVERIFY(focused);
        QCOMPARE(answer.value_or(QString()), expected);
        QCOMPARE(answer.has_value(), !expected.isEmpty());
        QCOMPARE(createEnabled, !typed.trimmed().isEmpty());
        QCOMPARE(holds, (QList<bool>{true, false}));
    }

    // A name the attempt refuses keeps the prompt open with the reason under
    // the field; typing clears it, and the next name is taken.
    void refusedNameIsSaid() {
        DialogPrompts prompts([](bool) {});
        QString shown;
        bool stillOpen = false, clearedByTyping = false;
        whenShown([&](QWidget* dialog) {
            auto* field = dialog->findChild<QLineEdit*>();
            auto* problem = dialog->findChild<QLabel*>("problem");
            field->setText(".hidden");
            button(dialog, "Create")->click();
            shown = problem->isVisible() ? problem->text() : QString();
            stillOpen = dialog->isVisible();
            field->setText("Receipts");
            clearedByTyping = !problem->isVisible();
            button(dialog, "Create")->click();
        });
        QStringList tried;
        const std::optional<QString> answer =
            prompts.prompt("New Folder", "", "", "Create", [&](const QString& name) {
                tried << name;
                return name.startsWith('.') ? QStringLiteral("A name can't start with a dot")
                                            : QString();
            });
        QCOMPARE(shown, QStringLiteral("A name can't start with a dot"));
        QVERIFY(stillOpen);
        QVERIFY(clearedByTyping);
        QCOMPARE(tried, (QStringList{".hidden", "Receipts"}));
        QCOMPARE(answer.value_or(QString()), QStringLiteral("Receipts"));
    }

    // The confirmation is true only for its destructive button.
    void confirmation() {
        DialogPrompts prompts([](bool) {});
        for (const char* press : {"Move to Trash", "Cancel"}) {
            QString info, windowTitle;
            whenShown([&](QWidget* box) {
                if (auto* message = qobject_cast<QMessageBox*>(box))
                    info = message->informativeText();
                windowTitle = box->windowTitle();
                button(box, press)->click();
            });
            const bool yes =
                prompts.confirm("Delete 2 screenshots?", "They go to the Trash.", "Move to Trash");
            QCOMPARE(yes, QString(press) == "Move to Trash");
            QCOMPARE(info, QStringLiteral("They go to the Trash."));
            // The window manager's title bar gets the short name of the action.
            QCOMPARE(windowTitle, QStringLiteral("Move to Trash"));
        }
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
