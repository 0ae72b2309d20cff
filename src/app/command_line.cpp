#include "app/command_line.h"

#include <algorithm>
#include <iterator>

#include "app/about_box.h"
#include "simulator.h"

namespace tavrel::app {

namespace {

enum class TQtValue { None, Next, Joined };

struct TQtOption {
    const char* Name;  // without the leading '-'; Qt accepts one or two
    TQtValue Value;
};

// The options QApplication takes out of argv on Linux, with the X11 platform's own.
constexpr TQtOption kQtOptions[] = {
    {"platform", TQtValue::Next},
    {"platformpluginpath", TQtValue::Next},
    {"platformtheme", TQtValue::Next},
    {"plugin", TQtValue::Next},
    {"qwindowgeometry", TQtValue::Next},
    {"qwindowicon", TQtValue::Next},
    {"qwindowtitle", TQtValue::Next},
    {"session", TQtValue::Next},
    {"style", TQtValue::Next},
    {"stylesheet", TQtValue::Next},
    {"display", TQtValue::Next},
    {"geometry", TQtValue::Next},
    {"title", TQtValue::Next},
    {"icon", TQtValue::Next},
    {"name", TQtValue::Next},
    {"visual", TQtValue::Next},
    {"style=", TQtValue::Joined},
    {"stylesheet=", TQtValue::Joined},
    {"qmljsdebugger=", TQtValue::Joined},
    {"reverse", TQtValue::None},
    {"widgetcount", TQtValue::None},
    {"nograb", TQtValue::None},
    {"dograb", TQtValue::None},
};

// The Qt option that `arg` names, or nullptr.
const TQtOption* FindQtOption(const QString& arg) {
    if (!arg.startsWith(QLatin1Char('-'))) {
        return nullptr;
    }
    const QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const auto* found = std::find_if(std::begin(kQtOptions), std::end(kQtOptions), [&](const TQtOption& option) {
        return option.Value == TQtValue::Joined ? name.startsWith(QLatin1String(option.Name))
                                                : name == QLatin1String(option.Name);
    });
    return found == std::end(kQtOptions) ? nullptr : found;
}

}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    bool holdGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (const TQtOption* qt = FindQtOption(arg)) {
            if (qt->Value == TQtValue::Next && ++i >= arguments.size()) {
                result.Error = QStringLiteral("Не указано значение после %1").arg(arg);
                return result;
            }
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            result.Help = true;
        } else if (arg == QLatin1String("--version")) {
            result.Version = true;
        } else if (arg == QLatin1String("--simulate")) {
            result.Simulate = true;
        } else if (arg == QLatin1String("--port") || arg.startsWith(QLatin1String("--port="))) {
            QString value;
            if (arg == QLatin1String("--port")) {
                if (i + 1 >= arguments.size()) {
                    result.Error = QStringLiteral("Не указано имя порта после --port");
                    return result;
                }
                value = arguments[++i];
            } else {
                value = arg.mid(7);
            }
            if (value.trimmed().isEmpty()) {
                result.Error = QStringLiteral("Не указано имя порта после --port");
                return result;
            }
            if (!result.PortName.isEmpty()) {
                result.Error = QStringLiteral("Параметр --port указан дважды");
                return result;
            }
            result.PortName = value;
        } else if (arg == QLatin1String("--sim-hold")) {
            if (i + 1 >= arguments.size()) {
                result.Error = QStringLiteral("Не указаны значения после --sim-hold");
                return result;
            }
            const QString text = arguments[++i];
            std::string error;
            if (!sim::ParseHoldValues(text.toStdString(), result.SimHold, error)) {
                result.Error = QStringLiteral(
                                   "Неверные значения --sim-hold «%1»: ожидается КАНАЛ=ЗНАЧЕНИЕ через "
                                   "запятую, канал от 1 до 3, например 1=0.9,2=-5")
                                   .arg(text);
                return result;
            }
            holdGiven = true;
        } else {
            result.Error = QStringLiteral("Неизвестный параметр: %1").arg(arg);
            return result;
        }
    }
    if (result.Simulate && !result.PortName.isEmpty()) {
        result.Error = QStringLiteral("Параметры --simulate и --port несовместимы");
    } else if (holdGiven && !result.Simulate) {
        result.Error = QStringLiteral("Параметр --sim-hold действует только вместе с --simulate");
    }
    return result;
}

QString CommandLineUsage(const QString& programName) {
    return QStringLiteral(
               "Использование: %1 [--port ПОРТ | --simulate [--sim-hold К=З,...]] [--help] [--version] [параметры Qt]\n"
               "\n"
               "Поверка Таврель «Ордалит». Без параметров программа сама находит порт прибора\n"
               "по его USB-идентификатору (VID_0483&PID_5740).\n"
               "\n"
               "  --port ПОРТ   не искать прибор, открыть указанный порт как есть\n"
               "                (например /dev/ttyACM0 или /dev/ttyUSB0 для прибора за переходником)\n"
               "  --simulate    запустить симулятор прибора и подключаться к нему;\n"
               "                заголовок окна и надпись в окне говорят «Симулятор»\n"
               "  --sim-hold К=З,...  симулятор держит на канале К показание З вольт (в любом\n"
               "                диапазоне), например 1=0.9,2=-5: поверка с заранее известным итогом\n"
               "  --help        показать эту справку и выйти\n"
               "  --version     показать версию и дату сборки и выйти\n"
               "\n"
               "Параметры Qt (-platform offscreen, -style Fusion, -reverse и другие) передаются Qt.\n")
        .arg(programName);
}

QString CommandLineVersion(const QString& programName) {
    QString about = TAboutBox::AboutText();
    about.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return QStringLiteral("%1 %2\n%3\n").arg(programName, QStringLiteral(TAVREL_VERSION), about);
}

}  // namespace tavrel::app
