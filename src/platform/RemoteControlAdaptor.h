#pragma once

#include "platform/RemoteControl.h"

#include <QDBusContext>

// The object on the bus. Its slots are the interface's methods, so their
// names are the D-Bus names.
class RemoteControl::Adaptor : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tamberk.Tamberk1")
public:
    Adaptor(RemoteTarget& target, QObject* parent)
        : QObject(parent)
        , m_target(target) {}

public slots:
    void Toggle(const QString& token) { m_target.toggle(token); }
    void Show(const QString& token) { m_target.show(token); }
    void Hide() { m_target.hide(); }
    void Quit();
    QString Version() const;
    QVariantMap State() const { return m_target.state(); }
    /// Answers when the text is on the clipboard, which may take a
    /// recognition: the reply is sent later.
    bool CopyText();

private:
    RemoteTarget& m_target;
};
