#include "simulator_form_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>

#include "app/grid_panel.h"

namespace tavrel::test {

void SimulatorFormFixture::StartSimulator(const QString& logName, sim::TSimOptions options) {
    FBoxGuard = std::make_unique<TModalCloser>(TModalCloser::TMode::FailOnMessageBox);
    QDir().mkpath(QStringLiteral(TAVREL_SCREENSHOT_DIR));
    LogPath = QDir(QStringLiteral(TAVREL_SCREENSHOT_DIR)).filePath(logName);
    QFile::remove(LogPath);
    options.LogFile = LogPath.toStdString();
    Sim = std::make_unique<sim::Simulator>(options);
    const std::string slave = Sim->OpenPty();
    ASSERT_FALSE(slave.empty()) << Sim->LastError();
    Sim->Start();
    Module->SetAutoDetect(false);
    Module->SetComPortName(slave);
}

void SimulatorFormFixture::TearDown() {
    Form->close();
    Sim.reset();
    MainFormFixture::TearDown();
}

bool SimulatorFormFixture::WaitFor(const std::function<bool()>& done, int timeoutMs) const {
    return test::WaitFor([this, &done] { return UnexpectedBoxSeen() || done(); }, timeoutMs) && !UnexpectedBoxSeen();
}

app::TFrameChannel* SimulatorFormFixture::Frame(int k) const {
    return qobject_cast<app::TFrameChannel*>(Form->GP->Control(k));
}

bool SimulatorFormFixture::FramesShowReadings(int count) const {
    if (Form->GP->ControlCount() != count) {
        return false;
    }
    for (int k = 0; k < count; ++k) {
        const QString value = Frame(k)->LabelChannelValue->text();
        if (value.isEmpty() || value == QStringLiteral("Ожидание данных") || value == QStringLiteral("Нет данных")) {
            return false;
        }
    }
    return true;
}

void SimulatorFormFixture::Screenshot(QWidget* window, const char* name) {
    QApplication::processEvents();
    const QString path = QDir(QStringLiteral(TAVREL_SCREENSHOT_DIR)).filePath(QString::fromLatin1(name));
    EXPECT_TRUE(window->grab().save(path, "PNG")) << path.toStdString();
}

std::vector<std::string> SimulatorFormFixture::LogLines(const char* direction) const {
    std::vector<std::string> lines;
    QFile file(LogPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return lines;
    }
    const QString prefix = QString::fromLatin1(direction) + QLatin1Char(' ');
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromLatin1(line);
        if (text.startsWith(prefix)) {
            lines.push_back(text.mid(prefix.size()).toStdString());
        }
    }
    return lines;
}

}  // namespace tavrel::test
