#include "RealApp.h"
#include "TestEnv.h"
#include "X11Session.h"
#include "settings/Prefs.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace realapp;

namespace {

/// Records the state changes applications send on the accessibility bus.
class StateListener : public QObject {
    Q_OBJECT
public:
    struct Change {
        QString service;
        QString path;
        QString state;
        bool on = false;
    };
    QList<Change> changes;

public slots:
    void stateChanged(const QDBusMessage& message) {
        const QList<QVariant> args = message.arguments();
        changes << Change{message.service(), message.path(), args.value(0).toString(),
                          args.value(1).toInt() != 0};
    }
};

/// A reader's view of the application: the accessibility bus, as a screen
/// reader walks it over AT-SPI.
class AtSpi {
public:
    struct Ref {
        QString service;
        QString path;
    };
    struct Node {
        QString role;
        QString name;
        QString description;
        QStringList states; // the ones a reader says: selected, focused, checked
        int depth = 0;
        int children = 0;
        QString line() const {
            QString text = QString(depth * 2, ' ') + role + " \"" + name + '"';
            if (!description.isEmpty())
                text += " (" + description + ')';
            if (!states.isEmpty())
                text += " [" + states.join(' ') + ']';
            if (children > 0)
                text += QStringLiteral(" {%1}").arg(children);
            return text;
        }
    };

    /// Connects to the session's accessibility bus; false when none starts.
    bool connect() {
        QDBusMessage call = QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus",
                                                           "org.a11y.Bus", "GetAddress");
        const QDBusReply<QString> address = QDBusConnection::sessionBus().call(call);
        if (!address.isValid())
            return false;
        m_bus = QDBusConnection::connectToBus(address.value(), QStringLiteral("a11y"));
        return m_bus.isConnected();
    }

    /// Asks applications for their state changes, as a screen reader does.
    /// Applications started later learn of it as they join the bus.
    bool listen() {
        QDBusMessage call =
            QDBusMessage::createMethodCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                                           "org.a11y.atspi.Registry", "RegisterEvent");
        call << QStringLiteral("object:state-changed") << QStringList() << QString();
        return m_bus.call(call).type() == QDBusMessage::ReplyMessage &&
               m_bus.connect(QString(), QString(), "org.a11y.atspi.Event.Object", "StateChanged",
                             &m_listener, SLOT(stateChanged(QDBusMessage)));
    }
    /// The state changes heard so far, as "name: state" for those turned on.
    QStringList heard() {
        QStringList out;
        for (const StateListener::Change& change : std::as_const(m_listener.changes))
            if (change.on)
                out << property({change.service, change.path}, "Name") + ": " + change.state;
        return out;
    }

    /// The application named `name` among those registered, if it is there.
    std::optional<Ref> application(const QString& name) {
        const Ref registry{"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"};
        for (const Ref& app : children(registry))
            if (property(app, "Name") == name)
                return app;
        return std::nullopt;
    }

    /// The tree under `root`, depth first; a long list shows its first items only.
    QList<Node> walk(const Ref& root, int depth = 0) {
        QList<Node> out;
        Node node;
        node.depth = depth;
        node.role = call(root, "GetRoleName").toString();
        node.name = property(root, "Name");
        node.description = property(root, "Description");
        node.states = states(root);
        const QList<Ref> kids = depth < 14 ? children(root) : QList<Ref>{};
        node.children = int(kids.size());
        out << node;
        for (int i = 0; i < kids.size() && i < 4; ++i)
            out << walk(kids[i], depth + 1);
        for (qsizetype i = 4; i < kids.size() && node.role != QLatin1String("list"); ++i)
            out << walk(kids[i], depth + 1);
        return out;
    }

private:
    QVariant call(const Ref& ref, const char* method) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            ref.service, ref.path, "org.a11y.atspi.Accessible", QString::fromLatin1(method));
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, 5000);
        return reply.arguments().value(0);
    }
    QString property(const Ref& ref, const char* name) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            ref.service, ref.path, "org.freedesktop.DBus.Properties", "Get");
        message << QStringLiteral("org.a11y.atspi.Accessible") << QString::fromLatin1(name);
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, 5000);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }
    QList<Ref> children(const Ref& ref) {
        QList<Ref> out;
        const QVariant value = call(ref, "GetChildren");
        if (!value.canConvert<QDBusArgument>())
            return out;
        const QDBusArgument arg = value.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QString service;
            QDBusObjectPath path;
            arg.beginStructure();
            arg >> service >> path;
            arg.endStructure();
            out << Ref{service, path.path()};
        }
        arg.endArray();
        return out;
    }
    QStringList states(const Ref& ref) {
        const QList<uint> words = qdbus_cast<QList<uint>>(call(ref, "GetState"));
        // AT-SPI's state numbers: checked 4, focused 12, selected 23, showing 25.
        auto has = [&](int state) {
            return words.size() > state / 32 && (words[state / 32] >> (state % 32)) & 1u;
        };
        QStringList out;
        if (has(4))
            out << "checked";
        if (has(12))
            out << "focused";
        if (has(23))
            out << "selected";
        if (!has(25))
            out << "hidden";
        return out;
    }

    QDBusConnection m_bus{QStringLiteral("none")};
    StateListener m_listener;
};

const AtSpi::Node* find(const QList<AtSpi::Node>& tree, const QString& role,
                        const QString& namePrefix) {
    for (const AtSpi::Node& node : tree)
        if (node.role == role && node.name.startsWith(namePrefix))
            return &node;
    return nullptr;
}

} // namespace

class tst_AccessTree : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { X11_SESSION_REQUIRED(); }

    // A screen reader finds the open panel's painted views over AT-SPI: the
    // roll as a list of frames named by their files, the frame the keyboard is
    // on focused and selected, the chips as tabs with counts, the buttons named
    // by their tooltips, the slider, and the edge tab; it hears the frame that
    // takes the keyboard and a toast as it comes.
    void panelOverAtSpi() {
        TestEnv env;
        AtSpi reader;
        if (!reader.connect())
            QSKIP("no accessibility bus in this session (at-spi2-core is not installed)");
        QTemporaryDir shots;
        for (int i = 0; i < 3; ++i) {
            QImage image(640, 400, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(i * 90, 120, 200));
            QVERIFY(image.save(shots.filePath(QStringLiteral("Screenshot %1.png").arg(i))));
        }
        Prefs::shared().set(Key::launched, true);
        Prefs::shared().set(Key::folder, shots.path());
        Prefs::shared().set(Key::scope, QStringLiteral("all"));
        Prefs::shared().set(Key::syncSystem, false);

        QVERIFY(reader.listen());
        RealApp app;
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        app.start();
        qunsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
        QTRY_VERIFY_WITH_TIMEOUT(serviceRunning(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(state().value(QStringLiteral("shown")).toInt() == 3, 20000);
        QCOMPARE(tamberk({QStringLiteral("--show")}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(expanded(), 20000);
        QVERIFY(QTest::qWaitFor([] { return panelMapped(); }, 20000));
        QVERIFY(X11Session::xdotool({"key", "Home"}));

        std::optional<AtSpi::Ref> root;
        QTRY_VERIFY_WITH_TIMEOUT((root = reader.application("tamberk")).has_value(), 10000);
        QList<AtSpi::Node> tree;
        const AtSpi::Node* frame = nullptr;
        QVERIFY(QTest::qWaitFor(
            [&] {
                tree = reader.walk(*root);
                frame = find(tree, "list item", "Screenshot ");
                return frame && frame->states.contains("focused");
            },
            10000));
        QStringList lines;
        for (const AtSpi::Node& node : std::as_const(tree))
            lines << node.line();
        qInfo().noquote() << "The panel as AT-SPI shows it:\n" + lines.join('\n');

        const AtSpi::Node* list = find(tree, "list", "Frames");
        QVERIFY(list);
        QCOMPARE(list->children, 3);
        QVERIFY(frame->states.contains("selected"));
        QVERIFY(!frame->description.isEmpty());
        QVERIFY(find(tree, "page tab", "All, 3 frames"));
        QVERIFY(find(tree, "push button", "Keep open"));
        QVERIFY(find(tree, "slider", "Frame size"));
        QVERIFY(find(tree, "push button", "Tamberk"));

        // What a reader is told: the frame that took the keyboard, and a toast as it shows.
        QTRY_VERIFY_WITH_TIMEOUT(reader.heard().contains(frame->name + ": focused"), 10000);
        QVERIFY(X11Session::xdotool({"key", "ctrl+c"}));
        QTRY_VERIFY_WITH_TIMEOUT(reader.heard().contains("Copied: showing"), 10000);
        qInfo().noquote() << "Heard over AT-SPI:" << reader.heard().join(" | ");
        QCOMPARE(tamberk({QStringLiteral("--quit")}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!app.running(), 20000);
    }
};

TAMBERK_TEST(tst_AccessTree)
#include "tst_AccessTree.moc"
