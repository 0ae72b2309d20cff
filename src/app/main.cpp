// tavrel-check: the calibration check tool of the Таврель meter-recorder.
#include <QApplication>
#include <QTextStream>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "app/about_box.h"
#include "app/command_line.h"
#include "app/halvo.h"
#include "app/main_data_module.h"
#include "app/main_form.h"
#include "app/qt_messaging_platform.h"
#include "bus/messaging.h"
#include "bus/messaging_platform.h"
#include "link/xcom_port_module.h"
#include "simulator.h"

namespace {

using tavrel::app::THalvo;

void ShowError(const QString& text) {
    THalvo::MessageDialog(nullptr, text, THalvo::ICONERROR, THalvo::OK, THalvo::RUS);
}

int RunWindows(int argc, char** argv, const tavrel::app::TCommandLine& commandLine) {
    THalvo::DetectMemoryLeak(true);
    // Takes Qt's own options (-platform, -style, -reverse, ...) out of argv.
    QApplication app(argc, argv);
    // Wayland shells find the desktop entry, and with it the icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(TAVREL_APP_ID));
    auto platform = std::make_shared<tavrel::app::TQtMessagingPlatform>();
    tavrel::bus::InstallMessagingPlatform(platform);
    struct TUninstall {
        ~TUninstall() { tavrel::bus::InstallMessagingPlatform(nullptr); }
    } uninstall;

    // A second start hands over to the running instance and leaves without a window.
    tavrel::app::TMainDataModule dataModule;
    if (!dataModule.IsFirstInstance()) {
        return 0;
    }

    tavrel::link::TXComPortModule module;
    module.SetOnTaskFailure([](const std::string& message) { ShowError(QString::fromStdString(message)); });

    std::unique_ptr<tavrel::sim::Simulator> simulator;
    if (commandLine.Simulate) {
        tavrel::sim::TSimOptions options;
        options.Hold = commandLine.SimHold;
        simulator = std::make_unique<tavrel::sim::Simulator>(options);
        const std::string slave = simulator->OpenPty();
        if (slave.empty()) {
            ShowError(QStringLiteral("Не удалось запустить симулятор прибора: %1")
                          .arg(QString::fromStdString(simulator->LastError())));
            return 1;
        }
        simulator->Start();
        module.SetAutoDetect(false);
        module.SetComPortName(slave);
    } else if (!commandLine.PortName.isEmpty()) {
        module.SetAutoDetect(false);
        module.SetComPortName(commandLine.PortName.toStdString());
    }

    tavrel::app::TMainForm form(module);
    form.SetSimulatorBanner(commandLine.Simulate);
    dataModule.SetMainWindow(&form);
    form.show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    // Read before QApplication exists, which needs a display: --help and --version work without one.
    const tavrel::app::TCommandLine commandLine = tavrel::app::ParseCommandLine(arguments);
    if (commandLine.Help || !commandLine.Ok()) {
        QTextStream out(commandLine.Ok() ? stdout : stderr);
        if (!commandLine.Ok()) {
            out << commandLine.Error << "\n\n";
        }
        out << tavrel::app::CommandLineUsage(QStringLiteral("tavrel-check"));
        return commandLine.Ok() ? 0 : 2;
    }
    if (commandLine.Version) {
        QTextStream(stdout) << tavrel::app::CommandLineVersion(QStringLiteral("tavrel-check"));
        return 0;
    }

    // The bus and its key cache come first: the main window subscribes while it is being created.
    tavrel::bus::InitializeMessaging();
    int code = 0;
    try {
        code = RunWindows(argc, argv, commandLine);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrel-check: %s\n", e.what());
        code = 1;
    }
    try {
        tavrel::bus::FinalizeMessaging();
    } catch (const std::exception& e) {
        // A subscriber left behind: reported, but the run itself is over.
        std::fprintf(stderr, "tavrel-check: %s\n", e.what());
    }
    return code;
}
