// Test helper: one program instance under a given guard name (without one, the product's default).
// Prints "first" or "second"; the first prints "activated" when another start tells it to come forward,
// then exits with code 0.
#include <cstdio>

#include <QCoreApplication>
#include <QTextStream>

#include "app/main_data_module.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    tavrel::app::TMainDataModule guard(argc < 2 ? tavrel::app::TMainDataModule::DefaultGuardName()
                                                : QString::fromLocal8Bit(argv[1]));
    if (!guard.IsFirstInstance()) {
        out << "second\n";
        return 0;
    }
    QObject::connect(&guard, &tavrel::app::TMainDataModule::InstanceCreated, &app, [&out]() {
        out << "activated\n";
        out.flush();
        QCoreApplication::exit(0);
    });
    out << "first\n";
    out.flush();
    return QCoreApplication::exec();
}
