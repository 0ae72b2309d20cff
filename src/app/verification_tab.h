#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include "journal/journal.h"
#include "verify/limits.h"
#include "verify/measurement.h"
#include "verify/report.h"
#include "verify/sequence.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tavrel::protocol {
class TTavrel;
}

namespace tavrel::app {

class TTrendChart;

// The page "Поверка": leads the engineer through the plan's points, takes the readings the measuring timer
// already brings, gives each point's error and verdict, keeps every point in the journal at once and saves
// the protocol. It never talks to the port itself: range and layout changes go out through the hooks.
class TVerificationTab : public QWidget {
    Q_OBJECT

  public:
    struct THooks {
        std::function<void(const std::vector<std::uint8_t>&)> SendCommand;  // queue one command frame
        std::function<void(verify::Layout)> SwitchLayout;                   // as the mode group would
    };

    // `dataDirectory`: where the journal and the remembered limits live (the per-user data directory).
    explicit TVerificationTab(const QString& dataDirectory, QWidget* parent = nullptr);
    ~TVerificationTab() override;

    void SetHooks(THooks hooks);

    // From the session controller.
    void DeviceIdentity(const protocol::TTavrel& model);
    // `workState`: the layout the instrument has confirmed (0, 1, 2; 255 none).
    void DeviceMeasure(const protocol::TTavrel& model, std::uint8_t workState);
    // No measurement came for a while: the live value is no longer shown as current.
    void DeviceReadingsOutdated();
    void LineClosed();

    // What the buttons do; the tests drive the page through these as well.
    QString LoadPlanFile(const QString& path);  // empty or the Russian reason
    void UseBuiltInTemplate();
    bool StartSession();
    bool ContinueSession(std::int64_t session);
    void Measure();
    void Repeat();
    bool Skip(const QString& reason);
    void Back();
    void Next();
    void ConfirmInstrumentChange();
    // Writes the PDF at `pdfPath` and the CSV beside it (same name, .csv); empty or the reason.
    QString SaveProtocol(const QString& pdfPath);
    void SetLimit(const verify::RangeKey& key, const std::optional<verify::Limit>& limit);

    const verify::LimitStore& Limits() const { return FLimits; }
    const std::optional<verify::Sequence>& Session() const { return FSequence; }
    std::optional<std::int64_t> JournalSession() const { return FSessionId; }
    bool Measuring() const { return FMeasurer.has_value(); }
    verify::ProtocolData Protocol() const;
    // The journal; null when it could not be opened (the session then lives in memory only).
    journal::Journal* Journal() const { return FJournal.get(); }
    QString DataDirectory() const { return FDataDirectory; }

    // Controls, for the tests and the screenshots.
    QLabel* LabelIdentity;
    QLineEdit* EditOperator;
    QLineEdit* EditCalibratorType;
    QLineEdit* EditCalibratorSerial;
    QLineEdit* EditTemperature;
    QLineEdit* EditHumidity;
    QLabel* LabelPlan;
    QPushButton* ButtonStart;
    QPushButton* ButtonContinue;
    QLabel* LabelInstruction;
    QLabel* ImageWiring;
    QLabel* LabelLive;
    QLabel* LabelMismatch;
    QPushButton* ButtonChange;
    TTrendChart* Chart;
    QLabel* LabelState;
    QLabel* LabelResult;
    QLabel* LabelVerdict;
    QPushButton* ButtonMeasure;
    QPushButton* ButtonRepeat;
    QLineEdit* EditSkipReason;
    QPushButton* ButtonSkip;
    QPushButton* ButtonBack;
    QPushButton* ButtonNext;
    QLabel* LabelOverall;
    QPushButton* ButtonSave;
    QLabel* LabelMessage;
    QTableWidget* TablePoints;

  private:
    void BuildLayout();
    void OpenJournalFile();
    void LoadLimits();
    QString SaveLimits();
    void ShowMessage(const QString& text, bool error);
    void ShowPoint();
    void ShowResult(const verify::PointRecord& record, const verify::TestPoint& point);
    void FillTable();
    void Record(std::size_t index);
    void FinishIfDone();
    void UpdateButtons();
    void CheckInstrument();
    void ChoosePlanFile();
    void EditLimits();
    void OpenJournalWindow();
    void SaveProtocolAs();
    verify::SessionInfo Info() const;
    std::optional<verify::Reading> ReadingOf(const protocol::TTavrel& model, std::uint8_t workState, int channel) const;

    QString FDataDirectory;
    THooks FHooks;
    std::unique_ptr<journal::Journal> FJournal;
    verify::LimitStore FLimits;
    verify::Plan FPlan;
    std::optional<verify::Sequence> FSequence;
    std::optional<verify::PointMeasurer> FMeasurer;
    std::optional<std::int64_t> FSessionId;
    QString FStartedAt;                                         // "YYYY-MM-DD HH:MM:SS"
    QString FSerial, FProduction, FFirmware;                    // the session's instrument
    QString FDeviceSerial, FDeviceProduction, FDeviceFirmware;  // the connected one, as it reported itself
    bool FOtherInstrument = false;  // the connected instrument is not (or not yet known to be) the session's
    // What the instrument last reported, for the offer to change its range or layout.
    std::optional<verify::Layout> FDeviceLayout;
    double FDeviceRange[3] = {0, 0, 0};
    double FDeviceShunt = 0;
    QElapsedTimer FClock;
};

}  // namespace tavrel::app
