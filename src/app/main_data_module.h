#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLocalServer;

namespace tavrel::app {

// The single-instance guard. Created before the main window: the first instance of the user listens on
// a local socket in the user's private directory (checked as the picture file's is); a later start
// connects, makes sure the listener runs as the same user, tells it to come forward and must exit with
// code 0 without showing a window. A socket nobody listens on (left by a crashed instance) or whose
// listener is another user's is removed and taken over.
class TMainDataModule : public QObject {
    Q_OBJECT

  public:
    // `guardName` is the local socket's path; its directory must pass the private-directory check, or the
    // program runs without a guard. Tests give their own.
    explicit TMainDataModule(const QString& guardName = DefaultGuardName(), QObject* parent = nullptr);
    ~TMainDataModule() override;

    // False when another instance was running and has been told; the caller then exits with code 0.
    bool IsFirstInstance() const { return FFirstInstance; }
    // "instance" in the user's private directory (TUserAccess::PrivateDirectory).
    static QString DefaultGuardName();
    const QString& GuardName() const { return FGuardName; }

    // The window to bring forward when another instance starts.
    void SetMainWindow(QWidget* window) { FMainWindow = window; }

    // Another instance was started: show the main window normal (restore it if minimised), raise it
    // and activate it. Emits InstanceCreated afterwards.
    void AppInstancesInstanceCreated();

  signals:
    void InstanceCreated();

  private:
    bool NotifyRunningInstance();
    void OnNewConnection();

    QString FGuardName;
    bool FFirstInstance = true;
    QLocalServer* FServer = nullptr;
    QPointer<QWidget> FMainWindow;
};

}  // namespace tavrel::app
