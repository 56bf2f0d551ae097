#pragma once

#include <QString>
#include <QStringList>

namespace korvane {

// Whether the application starts when the user logs in. The status is read
// from the system every time and never cached, so the menu's checkmark shows
// what will really happen at the next login.
class LoginItem {
public:
    enum class Status { Enabled, NotRegistered, RequiresApproval, NotFound };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    // On failure both return false and describe the error in `error`.
    virtual bool registerItem(QString* error) = 0;
    virtual bool unregisterItem(QString* error) = 0;

    // The process's login item for the running binary.
    static LoginItem& standard();
};

// An XDG autostart entry (~/.config/autostart/korvane.desktop). It counts as
// enabled when it exists, starts a program that exists and has neither
// Hidden=true (the entry is deleted) nor X-GNOME-Autostart-enabled=false (the
// desktop's startup settings switched it off: requires approval).
class XdgAutostartLoginItem final : public LoginItem {
public:
    explicit XdgAutostartLoginItem(QString entryPath = defaultEntryPath(), QString program = QString());

    static QString defaultEntryPath();

    const QString& entryPath() const { return m_entryPath; }

    Status status() const override;
    bool registerItem(QString* error) override;
    bool unregisterItem(QString* error) override;

    // The Exec= value that runs `program` with no arguments, quoted and escaped
    // as desktop entries require, and the reverse: the command line of an Exec=
    // value (string escapes undone, quotes removed, field codes dropped).
    static QString execValue(const QString& program);
    static QStringList execArguments(const QString& value);

private:
    QString program() const;

    QString m_entryPath;
    QString m_program; // empty: the running binary
};

} // namespace korvane
