#include "dialogs/compensation_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "dialogs/compensation_rose.h"
#include "dialogs/dialog_template.h"
#include "protocol/angles.h"
#include "protocol/requests.h"

namespace tolvane {
namespace {

constexpr int kButtonId = 1289;
constexpr int kComputationBarId = 1287;
constexpr int kResultId = 1288;
constexpr int kInstructionId = 1290;
constexpr int kElapsedId = 1291;
constexpr int kSectorMaximum = 16;
constexpr int kComputationMaximum = 100;

// Bar of each DMCAL Bins index: Bins run counter-clockwise from the sector
// between NW and N.
constexpr int kSectorBarIds[8] = {1286, 1285, 1284, 1283, 1282, 1281, 1280, 1279};

constexpr ControlLayout kControls[] = {
    {kButtonId, ControlKind::DefPushButton, "Abort", 45, 178, 50, 14},
    {-1, ControlKind::StaticCentred, "Data Collection", 21, 9, 100, 10},
    {-1, ControlKind::StaticCentred, "N", 61, 18, 20, 10},
    {-1, ControlKind::StaticCentred, "NE", 89, 39, 20, 10},
    {-1, ControlKind::StaticCentred, "E", 101, 58, 20, 10},
    {-1, ControlKind::StaticCentred, "SE", 89, 79, 20, 10},
    {-1, ControlKind::StaticCentred, "S", 61, 98, 20, 10},
    {-1, ControlKind::StaticCentred, "SW", 33, 79, 20, 10},
    {-1, ControlKind::StaticCentred, "W", 21, 58, 20, 10},
    {-1, ControlKind::StaticCentred, "NW", 33, 39, 20, 10},
    {1279, ControlKind::ProgressBar, "", 75, 29, 20, 10, "Sector N to NE"},
    {1280, ControlKind::ProgressBar, "", 97, 49, 20, 10, "Sector NE to E"},
    {1281, ControlKind::ProgressBar, "", 97, 69, 20, 10, "Sector E to SE"},
    {1282, ControlKind::ProgressBar, "", 75, 89, 20, 10, "Sector SE to S"},
    {1283, ControlKind::ProgressBar, "", 45, 89, 20, 10, "Sector S to SW"},
    {1284, ControlKind::ProgressBar, "", 23, 69, 20, 10, "Sector SW to W"},
    {1285, ControlKind::ProgressBar, "", 23, 49, 20, 10, "Sector W to NW"},
    {1286, ControlKind::ProgressBar, "", 45, 29, 20, 10, "Sector NW to N"},
    {-1, ControlKind::StaticCentred, "Computation", 21, 119, 100, 10},
    {kComputationBarId, ControlKind::ProgressBar, "", 31, 129, 80, 10, "Computation"},
    {-1, ControlKind::StaticCentred, "Result", 21, 149, 100, 10},
    {kResultId, ControlKind::StaticSunken, "", 21, 159, 100, 10},
    // The guide, added beside the bars: the rose is placed in code.
    {kInstructionId, ControlKind::Static, "", 150, 126, 104, 40, "Instructions"},
    {kElapsedId, ControlKind::Static, "", 150, 170, 104, 10, "Elapsed time"},
};
constexpr DialogLayout kTemplate{"Compass Compensation", 262, 202, kControls};
constexpr int kRoseX = 150, kRoseY = 9, kRoseSize = 104;

// A progress bar ignores a position outside its range; above it the bar
// is to show full.
void ShowPosition(QProgressBar& bar, int value)
{
    bar.setValue(std::min(value, bar.maximum()));
}

std::string ResultText(int status, int quality)
{
    char text[40];
    switch (status) {
    case 1: std::snprintf(text, sizeof text, "Success (%d)", quality); break;
    case 4: std::snprintf(text, sizeof text, "Timeout"); break;
    case 5: std::snprintf(text, sizeof text, "Computation failure"); break;
    case 6: std::snprintf(text, sizeof text, "Old better (New=%d)", quality); break;
    case 7: std::snprintf(text, sizeof text, "Failure writing to flash"); break;
    default: std::snprintf(text, sizeof text, "??? (%d)", status); break;
    }
    return text;
}

} // namespace

CompensationDialog::CompensationDialog(std::function<void(const OutgoingRequest&)> send,
                                       ReceiverRegistry* registry, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      send_(std::move(send)),
      registration_(registry)
{
    BuildDialog(*this, kTemplate);
    for (int i = 0; i < 8; ++i) sectorBars_[i] = ControlOf<QProgressBar>(*this, kSectorBarIds[i]);
    computationBar_ = ControlOf<QProgressBar>(*this, kComputationBarId);
    result_ = ControlOf<QLabel>(*this, kResultId);
    button_ = ControlOf<QPushButton>(*this, kButtonId);
    connect(button_, &QPushButton::clicked, this, &CompensationDialog::ButtonClicked);

    rose_ = new CompensationRose(this);
    const DialogUnits units = UnitsOf(font());
    rose_->setGeometry(static_cast<int>(kRoseX * units.horizontal), static_cast<int>(kRoseY * units.vertical),
                       static_cast<int>(kRoseSize * units.horizontal), static_cast<int>(kRoseSize * units.vertical));
    instruction_ = ControlOf<QLabel>(*this, kInstructionId);
    instruction_->setWordWrap(true);
    instruction_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    elapsed_ = ControlOf<QLabel>(*this, kElapsedId);
    clock_ = new QTimer(this);
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &CompensationDialog::ShowGuide);
}

void CompensationDialog::ShowGuide()
{
    rose_->SetBins(sectorValues_);
    // Named for what they are, the two lines give screen readers their text
    // as their description.
    const auto show = [](QLabel* label, const std::string& text) {
        label->setText(QString::fromStdString(text));
        label->setAccessibleDescription(label->text());
    };
    show(instruction_, GuideInstruction(sectorValues_, done_));
    if (!done_) show(elapsed_, ElapsedText(started_.elapsed()));
}

void CompensationDialog::setVisible(bool visible)
{
    // Each modal run opens the dialog afresh, as a new window would.
    if (visible && !isVisible()) {
        PlaceOnCreate(*this);
        Initialize();
    }
    if (!visible) {
        registration_.Leave();
        clock_->stop();
    }
    QDialog::setVisible(visible);
}

void CompensationDialog::Initialize()
{
    for (int i = 0; i < 8; ++i) {
        sectorBars_[i]->setRange(0, kSectorMaximum);
        sectorBars_[i]->setValue(0);
        sectorValues_[i] = 0;
    }
    computationBar_->setRange(0, kComputationMaximum);
    computationBar_->setValue(0);
    computationValue_ = 0;
    result_->clear();
    button_->setText(QStringLiteral("&Abort"));
    done_ = false;
    started_.start();
    rose_->SetHeading(std::nan(""));
    ShowGuide();
    clock_->start();
    if (send_) send_(CompensationRequest(CompensationAction::Start));
    // The orientation messages that keep coming turn the rose's pointer.
    registration_.Enter(this, {MessageType::Compensation, MessageType::Orientation});
}

void CompensationDialog::OnMessage(const DeviceMessage& message)
{
    if (IsType(message, MessageType::Orientation)) {
        rose_->SetHeading(UnsignedAngleDegrees(Decode<Orientation>(message).azimuth));
        return;
    }
    if (!IsType(message, MessageType::Compensation)) return;
    const CompensationReport report = Decode<CompensationReport>(message);
    if (report.status == 0) {
        for (int i = 0; i < 8; ++i) {
            const int value = report.bins[static_cast<std::size_t>(i)];
            if (value == sectorValues_[i]) continue;
            sectorValues_[i] = value;
            ShowPosition(*sectorBars_[i], value);
        }
        if (report.completion != computationValue_) {
            computationValue_ = report.completion;
            ShowPosition(*computationBar_, report.completion);
        }
        ShowGuide();
        return;
    }
    const QString text = QString::fromStdString(ResultText(report.status, report.quality));
    result_->setText(text);
    button_->setText(QStringLiteral("&OK"));
    done_ = true;
    ShowGuide();
}

void CompensationDialog::ButtonClicked()
{
    if (!done_ && send_) send_(CompensationRequest(CompensationAction::Abort));
    registration_.Leave();
    accept();
}

} // namespace tolvane
