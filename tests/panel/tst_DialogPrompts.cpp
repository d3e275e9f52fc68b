#include "TestEnv.h"
#include "panel/DialogPrompts.h"

#include <QApplication>
#include <QDialog>
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
        bool focused = false, checked = false;
        whenShown([&](QWidget* dialog) {
            if (auto* field = dialog->findChild<QLineEdit*>()) {
                fieldSize = field->size();
                placeholder = field->placeholderText();
                initialText = field->text();
                focused = dialog->focusWidget() == field;
                field->setText(typed);
                checked = true;
            }
            button(dialog, press)->click();
        });
        const std::optional<QString> answer =
            prompts.prompt("New Folder", "It goes inside “Shots”.", "initial", "Create");
        QVERIFY(checked);
        QCOMPARE(fieldSize, QSize(280, 24));
        QCOMPARE(placeholder, QStringLiteral("Name"));
        QCOMPARE(initialText, QStringLiteral("initial"));
        QVERIFY(focused);
        QCOMPARE(answer.value_or(QString()), expected);
        QCOMPARE(answer.has_value(), !expected.isEmpty());
        QCOMPARE(holds, (QList<bool>{true, false}));
    }

    // The confirmation is true only for its destructive button.
    void confirmation() {
        DialogPrompts prompts([](bool) {});
        for (const char* press : {"Move to Trash", "Cancel"}) {
            QString info;
            whenShown([&](QWidget* box) {
                if (auto* message = qobject_cast<QMessageBox*>(box))
                    info = message->informativeText();
                button(box, press)->click();
            });
            const bool yes =
                prompts.confirm("Delete 2 screenshots?", "They go to the Trash.", "Move to Trash");
            QCOMPARE(yes, QString(press) == "Move to Trash");
            QCOMPARE(info, QStringLiteral("They go to the Trash."));
        }
    }
};

TAMBERK_TEST(tst_DialogPrompts)
#include "tst_DialogPrompts.moc"
