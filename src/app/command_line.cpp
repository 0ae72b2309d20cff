#include "app/command_line.h"

namespace tavrel::app {

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
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
        } else {
            result.Error = QStringLiteral("Неизвестный параметр: %1").arg(arg);
            return result;
        }
    }
    if (result.Simulate && !result.PortName.isEmpty()) {
        result.Error = QStringLiteral("Параметры --simulate и --port несовместимы");
    }
    return result;
}

QString CommandLineUsage(const QString& programName) {
    return QStringLiteral(
               "Использование: %1 [--port ПОРТ | --simulate] [--help]\n"
               "\n"
               "Поверка Таврель «Ордалит». Без параметров программа сама находит порт прибора\n"
               "по его USB-идентификатору (VID_0483&PID_5740).\n"
               "\n"
               "  --port ПОРТ   не искать прибор, открыть указанный порт как есть\n"
               "                (например /dev/ttyACM0 или /dev/ttyUSB0 для прибора за переходником)\n"
               "  --simulate    запустить симулятор прибора и подключаться к нему;\n"
               "                заголовок окна и надпись в окне говорят «Симулятор»\n"
               "  --help        показать эту справку и выйти\n")
        .arg(programName);
}

}  // namespace tavrel::app
