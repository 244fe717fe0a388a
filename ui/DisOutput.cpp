// The main window's output row: the classic listing or the reconstructed
// source, the way to the listing window, and the choices it remembers.
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <algorithm>

#include "ui/Dis.h"
#include "ui/ListingWindow.h"
#include "ui/SourceMaker.h"

namespace {

QSettings Settings() {
    return QSettings(QStringLiteral("Tolvek"), QStringLiteral("Tolvek"));
}

}  // namespace

QString RememberedFolder() {
    return Settings().value(QStringLiteral("folder")).toString();
}

void RememberFolder(const QString& fileName) {
    Settings().setValue(QStringLiteral("folder"), QFileInfo(fileName).absolutePath());
}

void TDisForm::CreateOutputControls() {
    OutputPanel = new QFrame(this);
    OutputPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    OutputPanel->setAutoFillBackground(true);
    OutputPanel->setGeometry(8, 176, 527, 36);
    auto* row = new QHBoxLayout(OutputPanel);
    row->setContentsMargins(10, 2, 6, 2);
    row->setSpacing(10);
    auto* caption = new QLabel(QStringLiteral("Output"), OutputPanel);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    DisRB = new QRadioButton(QStringLiteral("Listing (.dis)"), OutputPanel);
    AsmRB = new QRadioButton(QStringLiteral("Source (.asm)"), OutputPanel);
    DisRB->setToolTip(QStringLiteral("The classic listing, with the chips of chipdat.txt"));
    AsmRB->setToolTip(
        sourceMaker_ ? QStringLiteral("The reconstructed source that gpasm assembles to the same "
                                      "image, with the parts of the device data")
                     : QStringLiteral("This build cannot write the reconstructed source"));
    AsmRB->setEnabled(sourceMaker_ != nullptr);
    DisRB->setChecked(true);
    ShowBut = new QPushButton(QStringLiteral("Show Listing"), OutputPanel);
    ShowBut->setAutoDefault(true);  // Enter presses it when it has the focus
    ShowBut->setEnabled(false);
    ShowBut->setToolTip(QStringLiteral("After a run: the listing window on the file it wrote"));
    BrowseBut = new QPushButton(QStringLiteral("Open Listing..."), OutputPanel);
    BrowseBut->setAutoDefault(true);
    BrowseBut->setToolTip(QStringLiteral("The listing window on a .dis or .asm file"));
    row->addWidget(caption);
    row->addWidget(DisRB);
    row->addWidget(AsmRB);
    row->addStretch();
    row->addWidget(ShowBut);
    row->addWidget(BrowseBut);

    connect(AsmRB, &QRadioButton::toggled, this, &TDisForm::OutputChange);
    connect(ShowBut, &QPushButton::clicked, this, &TDisForm::ShowButClick);
    connect(BrowseBut, &QPushButton::clicked, this, &TDisForm::BrowseButClick);
    for (QRadioButton* format : {hxmRB, HxsRB, Hx32RB}) {
        connect(format, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                SaveSettings();
            }
        });
    }
}

bool TDisForm::SourceChosen() const {
    return AsmRB->isChecked();
}

void TDisForm::LoadSettings() {
    const QSettings settings = Settings();
    const QString format = settings.value(QStringLiteral("format")).toString();
    const bool source = settings.value(QStringLiteral("output")).toString() == QLatin1String("asm");
    sourcePart_ = settings.value(QStringLiteral("sourcePart")).toString();
    // set quietly: the chip list is filled when the chip data is read
    for (QRadioButton* button : {hxmRB, HxsRB, Hx32RB, DisRB, AsmRB}) {
        button->blockSignals(true);
    }
    QRadioButton* chosenFormat = format == QLatin1String("inhx8s")   ? HxsRB
                                 : format == QLatin1String("inhx32") ? Hx32RB
                                                                     : hxmRB;
    chosenFormat->setChecked(true);
    (source && sourceMaker_ ? AsmRB : DisRB)->setChecked(true);
    for (QRadioButton* button : {hxmRB, HxsRB, Hx32RB, DisRB, AsmRB}) {
        button->blockSignals(false);
    }
}

void TDisForm::SaveSettings() const {
    QSettings settings = Settings();
    const QString format = HxsRB->isChecked()    ? QStringLiteral("inhx8s")
                           : Hx32RB->isChecked() ? QStringLiteral("inhx32")
                                                 : QStringLiteral("inhx8m");
    settings.setValue(QStringLiteral("format"), format);
    settings.setValue(QStringLiteral("output"),
                      SourceChosen() ? QStringLiteral("asm") : QStringLiteral("dis"));
    if (!sourcePart_.isEmpty()) {
        settings.setValue(QStringLiteral("sourcePart"), sourcePart_);
    }
}

namespace {

// The box keeps its place and width; its open list is as wide as the longest name.
void FitChipListToNames(QComboBox* box) {
    const QFontMetrics metrics(box->view()->font());
    int widest = 0;
    for (int i = 0; i < box->count(); ++i) {
        widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
    }
    const int frame = 2 * box->view()->frameWidth() + 4 * metrics.averageCharWidth();
    box->view()->setMinimumWidth(std::max(box->width(), widest + frame));
}

}  // namespace

void TDisForm::FillChipList() {
    ComboBox1->clear();
    struct Fit {
        QComboBox* box;
        ~Fit() { FitChipListToNames(box); }
    } fit{ComboBox1};
    if (SourceChosen()) {
        std::string error;
        const std::vector<std::string> parts = sourceMaker_->Parts(error);
        if (parts.empty() && !error.empty()) {
            dialogs_->ShowError(QCoreApplication::applicationName(), FromEngineText(error), this);
        }
        for (const std::string& name : parts) {
            ComboBox1->addItem(FromEngineText(name), QByteArray::fromStdString(name));
        }
        const int remembered = ComboBox1->findText(sourcePart_);
        ComboBox1->setCurrentIndex(remembered >= 0 ? remembered : 0);
        return;
    }
    for (const std::string& name : Chip.ChipList()) {
        ComboBox1->addItem(FromEngineText(name), QByteArray::fromStdString(name));
    }
    if (ComboBox1->count() > 0) {
        const int before = ComboBox1->findText(disChip_);
        ComboBox1->setCurrentIndex(before >= 0 ? before : 0);
    }
    Chip.SelectChip(ComboBox1->currentData().toByteArray().toStdString(),
                    [this](const std::string& message) { ShowChipMessage(message); });
}

void TDisForm::OutputChange() {
    NoResult();  // what the last run wrote is not the chosen output
    // each list keeps its choice for when the user comes back to it
    (SourceChosen() ? disChip_ : sourcePart_) = ComboBox1->currentText();
    FillChipList();
    if (Job.FileReady) {
        ShowOutputName();
    }
    SaveSettings();
}

void TDisForm::ShowOutputName() {
    std::string name = openedListing_;
    if (SourceChosen() && name.size() >= 4) {
        name.replace(name.size() - 4, 4, ".asm");
    }
    ShowListingName(name);
}

void TDisForm::StartSource() {
    TSourceRequest request;
    // the source run reads an INHX8S pair itself, as the command line does
    request.input = ToEngineText(OpenDialog1.FileName);
    request.split = HxsRB->isChecked();
    request.extended = Hx32RB->isChecked();
    request.part = ComboBox1->currentData().toByteArray().toStdString();
    Job.Busy = true;
    SetBusyCursor(true);
    SetStatusRed(false);
    SetStatus("Writing the source.");
    TSourceResult result = sourceMaker_->Make(request);
    SetBusyCursor(false);
    if (result.notOurs) {
        // BASE.asm is not Tolvek's: written only where the user says
        const QString path = FromEngineText(result.outputFile);
        switch (dialogs_->AskReplace(path, QStringLiteral("the reconstructed source"), this)) {
            case TReplaceAnswer::kReplace:
                request.output = result.outputFile;
                break;
            case TReplaceAnswer::kSaveAs:
                request.output = ToEngineText(
                    dialogs_->AskSaveFile(QStringLiteral("Save Source As"), path,
                                          QStringLiteral("Sources (*.asm);;All files (*)"), this));
                break;
            case TReplaceAnswer::kCancel:
                break;
        }
        if (!request.output.empty()) {
            SetBusyCursor(true);
            result = sourceMaker_->Make(request);
            SetBusyCursor(false);
        }
    }
    Job.Busy = false;
    Job.FileReady = false;
    StartBut->setEnabled(false);
    SetStatusRed(!result.written);
    StatusLabel->setText(FromEngineText(result.status));
    StatusLabel->setToolTip(StatusLabel->text());
    // the error panel and record line belong to the last listing run
    LineData->hide();
    LineLab->hide();
    ErrPan->hide();
    if (result.written) {
        ResultWritten(FromEngineText(result.outputFile));
    } else {
        NoResult();
    }
    FocusAfterRun();
}

void TDisForm::NoResult() {
    ResultFileName.clear();
    ShowBut->setEnabled(false);
}

void TDisForm::FocusAfterRun() {
    (ShowBut->isEnabled() ? static_cast<QWidget*>(ShowBut) : OpenBut)->setFocus();
}

void TDisForm::ResultWritten(const QString& fileName) {
    ResultFileName = QFileInfo(fileName).absoluteFilePath();
    ShowBut->setText(fileName.endsWith(QLatin1String(".asm")) ? QStringLiteral("Show Source")
                                                              : QStringLiteral("Show Listing"));
    ShowBut->setToolTip(QStringLiteral("Show %1 in the listing window")
                            .arg(QDir::toNativeSeparators(ResultFileName)));
    ShowBut->setEnabled(true);
}

TListingWindow* TDisForm::ListingWindow() {
    if (!listingWindow_) {
        listingWindow_ = std::make_unique<TListingWindow>();
        listingWindow_->SetSourceMaker(sourceMaker_.get());
    }
    return listingWindow_.get();
}

namespace {

void ShowListing(TListingWindow* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

void TDisForm::ShowButClick() {
    if (Job.Busy || ResultFileName.isEmpty()) {
        return;
    }
    QString error;
    if (!ListingWindow()->Open(ResultFileName, &error)) {
        dialogs_->ShowError(QCoreApplication::applicationName(), error, this);
        return;
    }
    ShowListing(ListingWindow());
}

void TDisForm::BrowseButClick() {
    if (Job.Busy) {
        return;
    }
    TOpenDialog dialog;
    dialog.Title = QStringLiteral("Open Listing");
    dialog.Filter = {
        {QStringLiteral("Listings and sources (*.dis *.asm)"), QStringLiteral("*.dis *.asm")},
        {QStringLiteral("All Files (*.*)"), QStringLiteral("*")}};
    if (!dialogs_->Execute(dialog, this)) {
        return;
    }
    RememberFolder(dialog.FileName);
    QString error;
    if (!ListingWindow()->Open(dialog.FileName, &error)) {
        dialogs_->ShowError(QCoreApplication::applicationName(), error, this);
        return;
    }
    ShowListing(ListingWindow());
}
