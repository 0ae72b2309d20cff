#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLocalServer;

namespace tavrel::app {

// The single-instance guard. Created before the main window: the first instance of the user listens on
// a local socket only that user can reach; a later start connects, tells the first to come forward and
// must exit with code 0 without showing a window. A socket left behind by a crashed instance (nobody
// listening) is removed and taken over.
class TMainDataModule : public QObject {
    Q_OBJECT

  public:
    // `guardName` names the local socket (a full path or a plain name); tests give their own.
    explicit TMainDataModule(const QString& guardName = DefaultGuardName(), QObject* parent = nullptr);
    ~TMainDataModule() override;

    // False when another instance was running and has been told; the caller then exits with code 0.
    bool IsFirstInstance() const { return FFirstInstance; }
    // The socket name of the current user: "tavrel-check-<uid>" in the user's runtime directory.
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
