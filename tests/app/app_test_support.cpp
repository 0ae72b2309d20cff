#include "app_test_support.h"

#include <cstdio>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QThread>
#include <gtest/gtest.h>

namespace tavrel::test {

std::string MeasureBody(double v1, const char* r1, double v2, const char* r2, double v3, const char* r3,
                        const char* shunt, const char* state) {
    char body[256];
    std::snprintf(body, sizeof body, "7;%.4f(%s);%.4f(%s);%.4f(%s);%s;2026;12;9;10;11;12;%s", v1, r1, v2, r2, v3, r3,
                  shunt, state);
    return body;
}

std::string CommandResultBody(char command, std::uint8_t code, std::uint8_t result) {
    std::string body;
    body += '\x7F';
    body += ';';
    body += command;
    body += ';';
    body += static_cast<char>(code);
    body += ';';
    body += static_cast<char>(result);
    return body;
}

std::vector<TBytes> TCommandSpy::Take() {
    std::vector<TBytes> frames;
    for (TBytes frame = Helper->GetData(); !frame.empty(); frame = Helper->GetData()) {
        frames.push_back(std::move(frame));
    }
    return frames;
}

TModalCloser::TModalCloser(TMode Mode) {
    FTimer.setInterval(20);
    QObject::connect(&FTimer, &QTimer::timeout, this, [this, Mode] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        if (Mode == TMode::FailOnMessageBox) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) {
                return;
            }
            ADD_FAILURE() << "unexpected message box \"" << box->windowTitle().toStdString()
                          << "\": " << box->text().toStdString();
        }
        Classes.push_back(QString::fromLatin1(modal->metaObject()->className()));
        Titles.push_back(modal->windowTitle());
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Texts.push_back(box->text());
            box->done(QMessageBox::Ok);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            Texts.push_back(QString());
            dialog->reject();
        } else {
            Texts.push_back(QString());
            modal->close();
        }
    });
    FTimer.start();
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return done();
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace tavrel::test

#include "protocol/tavrel.h"
#include "protocol/tavrel_data_parser.h"

namespace tavrel::test {

std::unique_ptr<protocol::TTavrel> ModelFromAnswers(const std::vector<std::string>& bodies) {
    protocol::TTavrelDataParser parser;
    TBytes json;
    parser.OnData([&json](protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) {
        if (kind != protocol::TTavrelCMD::cmdUnknown && kind != protocol::TTavrelCMD::cmdCRCError) {
            json = bytes;
        }
    });
    for (const std::string& body : bodies) {
        parser.AddData(AnswerFrame(body));
    }
    return protocol::TTavrel::FromJSON(json);
}

}  // namespace tavrel::test
