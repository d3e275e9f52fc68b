#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

/// The applications that can take a set of files, for the share menu: the
/// desktop's default application for their type first, then the recommended
/// ones, each once. Backed by GIO's per-type lists (mimeinfo.cache and
/// mimeapps.list), so it offers what the file manager offers.
namespace AppChooser {

struct App {
    QString id; // the desktop entry's id, "org.example.Viewer.desktop"
    QString name;
    QString iconName; // a theme icon name, empty when the entry names a file or none
    bool isDefault = false;
};

/// The content type of a file, from its name and, where the name says nothing,
/// its first bytes.
QString contentType(const QString& path);

/// Applications that open every one of `paths`: for one type, its default
/// first and then its recommended ones; for mixed types, those of the first
/// file's type that every other type lists too. Deduplicated by id.
QList<App> appsFor(const QStringList& paths);

/// Starts the application with the files. Returns false (and logs) when the
/// entry is gone or the launch failed.
bool launch(const QString& appId, const QStringList& paths);

/// "Other Application…": the desktop portal's chooser for one file; false when
/// no portal answers.
bool chooseOther(const QString& path);

/// "Email…": a new message with the files attached, through the desktop
/// portal, else `xdg-email --attach`. False when neither could start;
/// `failedLater` runs when xdg-email started but found no way to send mail.
bool email(const QStringList& paths, const std::function<void()>& failedLater = {});

} // namespace AppChooser
