#include "app/command_line.h"

#include "simulator.h"

namespace tavrel::app {

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    bool holdGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            result.Help = true;
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
               "Использование: %1 [--port ПОРТ | --simulate [--sim-hold К=З,...]] [--help]\n"
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
               "  --help        показать эту справку и выйти\n")
        .arg(programName);
}

}  // namespace tavrel::app
