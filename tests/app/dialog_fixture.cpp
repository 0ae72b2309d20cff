#include "dialog_fixture.h"

#include <cstdio>

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "simulator.h"

namespace tavrel::test {

std::string MeasureAnswer(const char* ch1, const char* ch2, const char* ch3, const char* shunt) {
    char body[256];
    std::snprintf(body, sizeof body, "7;%s;%s;%s;%s;2026;12;9;23;10;11;log_off", ch1, ch2, ch3, shunt);
    return body;
}

std::string Body(const TBytes& frame) {
    // STX ";" body ";" CRC CRC ";" ETX: the body with its trailing separator, without CRC and ETX.
    if (frame.size() < 6) {
        return {};
    }
    return std::string(frame.begin() + 2, frame.end() - 4);
}

std::vector<std::string> ClippedTexts(const QWidget* window) {
    std::vector<std::string> clipped;
    const auto check = [&clipped](const QWidget* widget, const QString& text, int needed) {
        if (widget->isVisibleTo(widget->window()) && needed > widget->width()) {
            clipped.push_back(widget->objectName().toStdString() + ": " + text.toStdString());
        }
    };
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        check(label, label->text(), label->fontMetrics().horizontalAdvance(label->text()));
    }
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        // A push button needs a few pixels of frame on each side; radio items and check boxes their mark.
        const int needed = qobject_cast<const QPushButton*>(button) != nullptr
                               ? button->fontMetrics().horizontalAdvance(button->text()) + 8
                               : button->sizeHint().width();
        check(button, button->text(), needed);
    }
    return clipped;
}

std::vector<TBytes> Drain(link::TDataHelper* helper) {
    std::vector<TBytes> frames;
    if (helper == nullptr) {
        return frames;
    }
    for (TBytes frame = helper->GetData(); !frame.empty(); frame = helper->GetData()) {
        frames.push_back(frame);
    }
    return frames;
}

void Leave(QWidget* dialog, TLeave how, QAbstractButton* ok, QAbstractButton* cancel, QWidget* keyTarget) {
    if (how == TLeave::CloseBox) {
        dialog->close();
    } else if (how == TLeave::Enter || how == TLeave::Escape) {
        QTest::keyClick(keyTarget, how == TLeave::Enter ? Qt::Key_Return : Qt::Key_Escape);
    } else {
        QAbstractButton* button = how == TLeave::OkButton ? ok : cancel;
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        button->click();
    }
    QApplication::processEvents();
}

void DialogFixture::SetUp() {
    Module = std::make_unique<link::TXComPortModule>();
    auto helper = std::make_unique<link::TDataHelper>(MainHandle, nullptr, nullptr);
    MainHelper = helper.get();
    Module->_ListenerDataHelperSet(std::move(helper));
}

void DialogFixture::TearDown() {
    Module.reset();
}

void DialogFixture::Feed(const std::string& body) const {
    Module->_ParseData(sim::Simulator::BuildFrame(body));
    QApplication::processEvents();
}

const QString TInputBoxAnswerer::Cancel = QStringLiteral("\x01cancel");

TInputBoxAnswerer::TInputBoxAnswerer(std::deque<QString> Answers) : FAnswers(std::move(Answers)) {
    FTimer.setInterval(20);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        Titles.push_back(box->windowTitle());
        Labels.push_back(box->labelText());
        Proposed.push_back(box->textValue());
        const QString answer = FAnswers.empty() ? Cancel : FAnswers.front();
        if (!FAnswers.empty()) {
            FAnswers.pop_front();
        }
        if (answer == Cancel) {
            box->reject();
        } else {
            box->setTextValue(answer);
            box->accept();
        }
    });
    FTimer.start();
}

}  // namespace tavrel::test
