#include "ui/Dis.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSvgRenderer>
#include <QTimer>
#include <algorithm>

#include "base/DataFiles.h"
#include "base/Paths.h"
#include "convert/SplitMerge.h"
#include "job/Job.h"
#include "job/RunNotes.h"
#include "run/Listing.h"
#include "run/Record.h"
#include "ui/Dishp.h"
#include "ui/ListingWindow.h"
#include "ui/SourceMaker.h"

namespace {

constexpr int kClientWidth = 543;
constexpr int kClientHeight = 291;
constexpr int kButtonWidth = 122;
constexpr int kButtonHeight = 44;

const QColor kPanelColor(0xe9, 0xe8, 0xe3);
const QColor kErrorRed(0xc8, 0x10, 0x10);
const QColor kHintGreen(0x1f, 0x5f, 0x47);

const char* const kInhx32Hint = "Looks like INHX32: choose INHX32 to read it";
const char* const kInhx32Tip =
    "The file holds an extended-address record (type 04), as INHX32 files do. Choose INHX32 "
    "under Format and open the file again: that choice reads it.";

QPalette ToolPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, kPanelColor);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, kPanelColor);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Button, QColor(0xdc, 0xda, 0xd4));
    palette.setColor(QPalette::ButtonText, Qt::black);
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x7d, 0x5f));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xfb, 0xdc));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    // a button that cannot be pressed says so (Show Listing before a run)
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return palette;
}

void SetTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QFrame* SunkenPanel(QWidget* parent, const QRect& geometry) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setAutoFillBackground(true);
    panel->setGeometry(geometry);
    return panel;
}

QFont BoldFont(const QFont& base) {
    QFont font = base;
    font.setBold(true);
    return font;
}

QFont FixedFont(int pixelSize, bool bold) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QString NameFilter(const std::pair<QString, QString>& entry) {
    // The dialog reads the pattern from the parentheses of the display text.
    return entry.first.contains('(') ? entry.first : entry.first + " (" + entry.second + ")";
}

}  // namespace

QString FromEngineText(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

std::string ToEngineText(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

void SetFileFilters(QFileDialog& fileDialog,
                    const std::vector<std::pair<QString, QString>>& filter) {
    // A native dialog takes the patterns from the display texts, so Qt's own is
    // used: its file list can be given the entry's patterns.
    fileDialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList texts;
    for (const auto& entry : filter) {
        texts << NameFilter(entry);
    }
    fileDialog.setNameFilters(texts);
    auto* files = new QIdentityProxyModel(&fileDialog);
    fileDialog.setProxyModel(files);
    // The dialog filters by the patterns it reads from the chosen text; the
    // entry's own patterns replace them as soon as it has.
    const auto usePatterns = [files, filter](const QString& text) {
        auto* model = qobject_cast<QFileSystemModel*>(files->sourceModel());
        for (const auto& entry : filter) {
            if (model != nullptr && NameFilter(entry) == text) {
                model->setNameFilters(entry.second.split(' ', Qt::SkipEmptyParts));
            }
        }
    };
    QObject::connect(&fileDialog, &QFileDialog::filterSelected, files, usePatterns);
    if (!texts.isEmpty()) {
        fileDialog.selectNameFilter(texts.constFirst());
        usePatterns(texts.constFirst());
    }
}

bool TDialogs::Execute(TOpenDialog& dialog, QWidget* parent) {
    QFileDialog fileDialog(parent, dialog.Title);
    fileDialog.setFileMode(QFileDialog::ExistingFile);
    fileDialog.setAcceptMode(QFileDialog::AcceptOpen);
    SetFileFilters(fileDialog, dialog.Filter);
    // The program's directory is the current one, so the dialog starts where the
    // user last found a file, or at home.
    const QString folder = RememberedFolder();
    fileDialog.setDirectory(folder.isEmpty() ? QDir::homePath() : folder);
    fileDialog.selectFile(dialog.FileName);
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty()) {
        return false;
    }
    dialog.FileName = fileDialog.selectedFiles().constFirst();
    return true;
}

void TDialogs::ShowError(const QString& title, const QString& text, QWidget* parent) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void TDialogs::ShowModal(QDialog& dialog) {
    dialog.exec();
}

TReplaceAnswer TDialogs::AskReplace(const QString& path, const QString& what, QWidget* parent) {
    return ::AskReplace(parent, path, what);
}

QString TDialogs::AskSaveFile(const QString& title, const QString& suggested, const QString& filter,
                              QWidget* parent) {
    return AskSaveFileName(parent, title, suggested, filter);
}

void TPictureButton::keyPressEvent(QKeyEvent* event) {
    // Enter presses the focused button, as Space does
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && isEnabled()) {
        click();
        return;
    }
    QToolButton::keyPressEvent(event);
}

TPictureButton::TPictureButton(const QString& resting, const QString& hover, QWidget* parent)
    : QToolButton(parent), resting_(resting), hover_(hover) {
    setIcon(resting_);
    setIconSize(QSize(kButtonWidth - 4, kButtonHeight - 4));
    setFixedSize(kButtonWidth, kButtonHeight);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(
        "QToolButton { border: 1px solid transparent; border-radius: 9px; background: "
        "transparent; padding: 0; }"
        "QToolButton:focus { border: 1px dotted #2f7d5f; }");
}

void TPictureButton::ShowHoverPicture(bool hover) {
    hoverShown_ = hover;
    setIcon(hover ? hover_ : resting_);
}

TDisForm::TDisForm(THelpForm* helpForm, std::unique_ptr<TDialogs> dialogs,
                   const QString& programDirectory, std::unique_ptr<TSourceMaker> sourceMaker)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      HelpForm(helpForm),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<TDialogs>()),
      background_(std::make_unique<QSvgRenderer>(QStringLiteral(":/pictures/background.svg"))),
      sourceMaker_(std::move(sourceMaker)) {
    // chipdat.txt is opened by its bare name, so it is found beside the program.
    QDir::setCurrent(programDirectory.isEmpty() ? QCoreApplication::applicationDirPath()
                                                : programDirectory);
    setWindowTitle(QStringLiteral("12x 16x Series Disassembler"));
    setFixedSize(kClientWidth, kClientHeight);
    setPalette(ToolPalette());
    QFont font = this->font();
    font.setPixelSize(12);
    setFont(font);
    setMouseTracking(true);
    CreateControls();
    LoadSettings();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    LicTimer = new QTimer(this);
    LicTimer->setInterval(1000);
    LicTimer->setSingleShot(true);
    connect(LicTimer, &QTimer::timeout, this, &TDisForm::LicTimerTimer);
    LicTimer->start();
}

TDisForm::~TDisForm() {
    if (cursorBusy_) {
        QApplication::restoreOverrideCursor();
    }
}

void TDisForm::CreateControls() {
    StatusPanel = SunkenPanel(this, QRect(8, 8, 527, 108));

    StatusLabel = new QLabel(StatusPanel);
    StatusLabel->setFont(BoldFont(font()));
    StatusLabel->setGeometry(10, 5, 507, 17);
    StatusLabel->setTextFormat(Qt::PlainText);

    constexpr int kComboLeft = 424;
    RadioGroup1 = new QGroupBox(QStringLiteral("Format"), StatusPanel);
    hxmRB = new QRadioButton(QStringLiteral("INHX8M"), RadioGroup1);
    HxsRB = new QRadioButton(QStringLiteral("INHX8S"), RadioGroup1);
    Hx32RB = new QRadioButton(QStringLiteral("INHX32"), RadioGroup1);
    hxmRB->setChecked(true);
    // Two columns, INHX32 under INHX8M: three in a row would leave the file
    // label no room for a name.
    auto* formats = new QGridLayout(RadioGroup1);
    formats->setContentsMargins(8, 0, 4, 2);
    formats->setHorizontalSpacing(8);
    formats->setVerticalSpacing(0);
    formats->addWidget(hxmRB, 0, 0);
    formats->addWidget(HxsRB, 0, 1);
    formats->addWidget(Hx32RB, 1, 0);
    // as large as the choices need, just left of the chip list and below the
    // status line; the progress bar runs below it
    const QSize groupSize = RadioGroup1->sizeHint();
    RadioGroup1->setGeometry(kComboLeft - 6 - groupSize.width(), 22, groupSize.width(),
                             groupSize.height());
    const int barTop = RadioGroup1->geometry().bottom() + 3;

    // one line beside the Format group; a long name is shortened in the middle
    FileLabel = new QLabel(StatusPanel);
    FileLabel->setGeometry(10, 32, RadioGroup1->x() - 6 - 10, 20);
    FileLabel->setTextFormat(Qt::PlainText);
    FileLabel->setWordWrap(false);
    FileLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ComboBox1 = new QComboBox(StatusPanel);
    ComboBox1->setGeometry(kComboLeft, 40, 93, 28);
    ComboBox1->setEditable(false);
    ComboBox1->setFont(FixedFont(13, true));
    ComboBox1->setToolTip(QStringLiteral("Processor"));
    ComboBox1->setStyleSheet(
        "QComboBox { color: #ffff00; background: #000000; border: 1px solid #5c5c5c; "
        "border-radius: 2px; padding: 1px 4px; }"
        "QComboBox:focus { border: 1px solid #e8d44d; }"
        "QComboBox::drop-down { border: none; width: 16px; }"
        "QComboBox::down-arrow { image: url(:/pictures/down-arrow.svg); width: 10px; "
        "height: 6px; }"
        "QComboBox QAbstractItemView { color: #ffff00; background: #000000; "
        "selection-color: #000000; selection-background-color: #e8d44d; outline: 0; }");
    ComboBox1->installEventFilter(this);
    connect(ComboBox1, &QComboBox::activated, this, &TDisForm::ComboBox1Change);

    PB = new QProgressBar(StatusPanel);
    PB->setGeometry(10, barTop, 507, std::min(18, StatusPanel->height() - 6 - barTop));
    PB->setRange(0, 100);
    PB->setValue(0);
    PB->setTextVisible(false);

    ErrPan = SunkenPanel(this, QRect(8, 122, 527, 50));
    LineLab = new QLabel(ErrPan);
    LineLab->setGeometry(10, 6, 120, 18);
    LineLab->setFont(BoldFont(font()));
    LineLab->setTextFormat(Qt::PlainText);
    SetTextColor(LineLab, kErrorRed);

    // The legend and the line below it share one fixed-pitch font, so the first
    // fields of the legend stand over the characters they name.
    auto* legend = new QWidget(ErrPan);
    legend->setGeometry(134, 6, 385, 18);
    auto* legendRow = new QHBoxLayout(legend);
    legendRow->setContentsMargins(0, 0, 0, 0);
    legendRow->setSpacing(0);
    for (QLabel** label : {&ColLab, &ByteLab, &AddLab, &RTLab, &DataLab, &ChkLab}) {
        *label = new QLabel(legend);
        (*label)->setFont(FixedFont(11, true));
        (*label)->setTextFormat(Qt::PlainText);
        legendRow->addWidget(*label);
    }
    legendRow->addStretch();
    const std::vector<QLabel*> labels = LegendLabels();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i]->setText(QString::fromLatin1(tolvek::kLegendTexts[i]));
        SetTextColor(labels[i], Qt::black);
    }
    ErrPan->hide();

    LineData = new QLabel(this);
    LineData->setGeometry(8 + 134, 122 + 26, 385, 18);
    LineData->setFont(FixedFont(11, false));
    LineData->setTextFormat(Qt::PlainText);
    LineData->hide();

    // placed after the record line when shown, so it may use the rest of the row
    Inhx32Hint = new QLabel(ErrPan);
    Inhx32Hint->setTextFormat(Qt::PlainText);
    SetTextColor(Inhx32Hint, kHintGreen);  // advice, not part of the fault
    Inhx32Hint->setToolTip(QString::fromLatin1(kInhx32Tip));
    Inhx32Hint->hide();

    NotesLabel = new QLabel(ErrPan);
    NotesLabel->setTextFormat(Qt::PlainText);
    NotesLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    NotesLabel->hide();

    CreateOutputControls();

    ButtonPanel = SunkenPanel(this, QRect(8, 216, 527, 52));
    ButtonPanel->setMouseTracking(true);
    OpenBut = new TPictureButton(QStringLiteral(":/pictures/open.svg"),
                                 QStringLiteral(":/pictures/open-hover.svg"), ButtonPanel);
    StartBut = new TPictureButton(QStringLiteral(":/pictures/start.svg"),
                                  QStringLiteral(":/pictures/start-hover.svg"), ButtonPanel);
    HelpBut = new TPictureButton(QStringLiteral(":/pictures/help.svg"),
                                 QStringLiteral(":/pictures/help-hover.svg"), ButtonPanel);
    CloseBut = new TPictureButton(QStringLiteral(":/pictures/close.svg"),
                                  QStringLiteral(":/pictures/close-hover.svg"), ButtonPanel);
    const std::pair<TPictureButton*, QString> buttons[] = {{OpenBut, QStringLiteral("Open")},
                                                           {StartBut, QStringLiteral("Start")},
                                                           {HelpBut, QStringLiteral("Help")},
                                                           {CloseBut, QStringLiteral("Close")}};
    int x = 7;
    for (const auto& [button, name] : buttons) {
        button->move(x, 4);
        button->setToolTip(name);
        button->setAccessibleName(name);
        button->installEventFilter(this);
        x += kButtonWidth + 8;
    }
    StartBut->setEnabled(false);
    connect(OpenBut, &QToolButton::clicked, this, &TDisForm::OpenButClick);
    connect(StartBut, &QToolButton::clicked, this, &TDisForm::StartButClick);
    connect(HelpBut, &QToolButton::clicked, this, &TDisForm::HelpButClick);
    connect(CloseBut, &QToolButton::clicked, this, &TDisForm::CloseButClick);

    ChipPicture = new QLabel(this);
    ChipPicture->setGeometry(kClientWidth - 8 - 76, 271, 76, 18);
    ChipPicture->setPixmap(QIcon(QStringLiteral(":/pictures/chip.svg")).pixmap(QSize(76, 18)));

    HeadMemo = new QPlainTextEdit(this);
    HeadMemo->setReadOnly(true);
    HeadMemo->hide();

    // the order of the work: format, file, chip, output, start
    setTabOrder(hxmRB, OpenBut);
    setTabOrder(OpenBut, ComboBox1);
    setTabOrder(ComboBox1, DisRB);
    setTabOrder(DisRB, StartBut);
    setTabOrder(StartBut, ShowBut);
    setTabOrder(ShowBut, BrowseBut);
    setTabOrder(BrowseBut, HelpBut);
    setTabOrder(HelpBut, CloseBut);
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(OpenBut), static_cast<QAbstractButton*>(StartBut),
          static_cast<QAbstractButton*>(HelpBut), static_cast<QAbstractButton*>(CloseBut)}) {
        button->setFocusPolicy(Qt::StrongFocus);
    }
    auto* open = new QShortcut(QKeySequence::Open, this);
    connect(open, &QShortcut::activated, this, &TDisForm::OpenButClick);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &TDisForm::HelpButClick);
}

tolvek::InputFormat TDisForm::SelectedFormat() const {
    if (HxsRB->isChecked()) {
        return tolvek::InputFormat::kInhx8s;
    }
    return Hx32RB->isChecked() ? tolvek::InputFormat::kInhx32 : tolvek::InputFormat::kInhx8m;
}

std::vector<QLabel*> TDisForm::LegendLabels() const {
    return {ColLab, ByteLab, AddLab, RTLab, DataLab, ChkLab};
}

void TDisForm::OpenButClick() {
    if (Job.Busy) {
        return;
    }
    // Prepared on a copy: a cancelled dialog leaves the file of the last Open,
    // which Start reads, as it was.
    TOpenDialog dialog = OpenDialog1;
    // "*" matches every file; "*.*" would miss names without an extension
    const QString allFiles = QStringLiteral("*");
    if (!HxsRB->isChecked()) {
        // INHX32 is INHX8M with extended-address records: the same files
        dialog.Title = QStringLiteral("Open INHX8M File");
        dialog.Filter = {{QStringLiteral("Hex Files (*.hex)"), QStringLiteral("*.hex")},
                         {QStringLiteral("Obj Files (*.obj)"), QStringLiteral("*.obj")},
                         {QStringLiteral("All Files (*.*)"), allFiles}};
        dialog.FileName = QStringLiteral("*.hex");
    } else {
        dialog.Title = QStringLiteral("Open INHX8S File");
        dialog.Filter = {{QStringLiteral("Hex Files (*.hxl)"), QStringLiteral("*.hxl")},
                         {QStringLiteral("Obj Files (*.obl)"), QStringLiteral("*.obl")},
                         {QStringLiteral("All Files (*.*)"), allFiles}};
        dialog.FileName = QStringLiteral("*.hxl");
    }
    if (dialogs_->Execute(dialog, this)) {
        OpenDialog1 = dialog;
        StartBut->setEnabled(true);
        StartBut->setFocus();  // the next step
        Job.Format = SelectedFormat();
        tolvek::IoError error;
        switch (Job.Open(ToEngineText(OpenDialog1.FileName), error)) {
            case tolvek::Job::OpenResult::kIoFailed:
                ShowIoError(error);
                return;
            case tolvek::Job::OpenResult::kMergeFailed:
                StatusLabel->setText(QString::fromLatin1(tolvek::kMergeFailedMessage.data(),
                                                         tolvek::kMergeFailedMessage.size()));
                // the system's reason, when it gave one, for whoever asks
                StatusLabel->setToolTip(error ? FromEngineText(error.Message()) : QString());
                LineData->hide();
                LineLab->hide();
                ShowNotes({error ? error.Message() : std::string(),
                           tolvek::MergeFailedHint(Job.ChosenFileName)});
                return;
            case tolvek::Job::OpenResult::kReady:
                break;
        }
        RememberFolder(OpenDialog1.FileName);
        openedListing_ = tolvek::ListingName(Job.InputFileName());
        ShowOutputName();
        SetStatusRed(false);
        StatusLabel->setText(QStringLiteral("Waiting for Start"));
        StatusLabel->setToolTip(QString());
        LineData->hide();
        LineLab->hide();
        ShowNotes({});
        ErrPan->hide();
    }
    OpenBut->ShowHoverPicture(false);
}

void TDisForm::StartButClick() {
    if (!Job.FileReady || Job.Busy) {
        return;
    }
    if (SourceChosen()) {
        StartSource();
        return;
    }
    // the format as it is when Start is pressed
    Job.Format = SelectedFormat();
    // merged split files carry "XX" checksums: only a file as the user has it is checked
    Job.CheckChecksums = Job.Format != tolvek::InputFormat::kInhx8s;
    ShowNotes({});
    const tolvek::RunResult result = Job.Start(*this);
    if (!result.io && result.code == tolvek::kResultOk) {
        ResultWritten(FromEngineText(tolvek::ListingName(Job.InputFileName())));
    } else {
        NoResult();
    }
    ShowInhx32Hint(hxmRB->isChecked() && !result.io && result.code == tolvek::kResultTypeValue &&
                   tolvek::IsExtendedAddressRecord(result.outcome.line));
    std::vector<std::string> notes;
    if (Job.CheckChecksums) {
        const std::string input = Job.InputFileName();
        notes = tolvek::ChecksumNotes(
            input, Job.ChecksumsComplete() ? Job.Checksums() : tolvek::ScanChecksums(input), false);
    }
    const tolvek::HintContext context{
        Job.Format,
        Chip.ChipList().empty() ? tolvek::ChipSource::kNoChipData : tolvek::ChipSource::kChosen,
        Chip.ChipName, tolvek::FindDataFile("", "devices.txt")};
    for (std::string& hint : tolvek::ListingHints(Job.InputFileName(), result, Chip, context)) {
        // the window's own INHX32 hint says this in the window's words
        if (Inhx32Hint->isHidden() || hint.find("--format inhx32") == std::string::npos) {
            notes.push_back(std::move(hint));
        }
    }
    ShowNotes(notes);
    // Disabling the focused Start would pass the focus on to Help, which then
    // shows a focus frame although the user never went there.
    if (StartBut->hasFocus()) {
        StartBut->clearFocus();
    }
    StartBut->setEnabled(false);
    FocusAfterRun();
    QStringList header;
    for (const std::string& line : Job.Header()) {
        header << FromEngineText(line);
    }
    HeadMemo->setPlainText(header.join('\n'));
}

void TDisForm::HelpButClick() {
    if (Job.Busy || HelpForm == nullptr) {
        return;
    }
    dialogs_->ShowModal(*HelpForm);
}

void TDisForm::CloseButClick() {
    close();
}

bool TDisForm::FormCloseQuery() {
    return !Job.Busy;
}

void TDisForm::FormClose() {
    while (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
    cursorBusy_ = false;
    Chip.ChipLines = {};
    Chip.ChipInfo = {};
    listingWindow_.reset();
}

void TDisForm::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TDisForm::ComboBox1Change() {
    // a chip found by typing keeps the focus, so the next character goes on
    // with the search
    if (!typingChipName_) {
        hxmRB->setFocus();
    }
    if (SourceChosen()) {
        sourcePart_ = ComboBox1->currentText();
        SaveSettings();
        return;
    }
    disChip_ = ComboBox1->currentText();
    Chip.SelectChip(ComboBox1->currentData().toByteArray().toStdString(),
                    [this](const std::string& message) { ShowChipMessage(message); });
}

bool TDisForm::ComboBox1KeyPress(QKeyEvent* event) {
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

void TDisForm::ShowListingName(const std::string& listingPath) {
    const QString path = QFileInfo(FromEngineText(listingPath)).absoluteFilePath();
    const QString prefix = QStringLiteral("Disassemble Filename: ...") + QDir::separator();
    const QFontMetrics metrics(FileLabel->font());
    const int room = FileLabel->contentsRect().width() - metrics.horizontalAdvance(prefix);
    FileLabel->setText(prefix +
                       metrics.elidedText(QFileInfo(path).fileName(), Qt::ElideMiddle, room));
    FileLabel->setToolTip(QDir::toNativeSeparators(path));
}

void TDisForm::ShowInhx32Hint(bool show) {
    if (show) {
        // after the record line, to the end of the row
        const QFontMetrics metrics(LineData->font());
        const int left = LineData->x() - ErrPan->x() + metrics.horizontalAdvance(LineData->text()) +
                         metrics.averageCharWidth() * 2;
        const int width = ErrPan->width() - 8 - left;
        Inhx32Hint->setGeometry(left, LineData->y() - ErrPan->y(), width, LineData->height());
        Inhx32Hint->setText(
            QFontMetrics(Inhx32Hint->font())
                .elidedText(QString::fromLatin1(kInhx32Hint), Qt::ElideRight, width));
    }
    Inhx32Hint->setVisible(show);
}

void TDisForm::ShowNotes(const std::vector<std::string>& lines) {
    QStringList texts;
    for (const std::string& line : lines) {
        if (!line.empty()) {
            texts << FromEngineText(line);
        }
    }
    if (texts.isEmpty()) {
        Inhx32Hint->setToolTip(QString::fromLatin1(kInhx32Tip));
        NotesLabel->hide();
        NotesLabel->setToolTip(QString());
        return;
    }
    const QString whole = texts.join(QLatin1Char('\n'));
    NotesLabel->setToolTip(whole);
    NotesLabel->setProperty("notes", whole);
    QRect room;
    if (!LineData->isHidden()) {
        // after the record line, to the end of the row
        const QFontMetrics metrics(LineData->font());
        const int left = LineData->x() - ErrPan->x() + metrics.horizontalAdvance(LineData->text()) +
                         metrics.averageCharWidth() * 2;
        room = QRect(left, LineData->y() - ErrPan->y(), ErrPan->width() - 8 - left,
                     LineData->height());
        NotesLabel->setWordWrap(false);
        NotesLabel->setText(QFontMetrics(NotesLabel->font())
                                .elidedText(texts.front(), Qt::ElideRight, room.width()));
    } else {
        // the panel holds the notes alone: the legend belongs to a record line
        room = ErrPan->contentsRect().adjusted(8, 2, -8, -2);
        NotesLabel->setWordWrap(true);
        NotesLabel->setText(whole);
        ColLab->parentWidget()->hide();
        ErrPan->show();
    }
    NotesLabel->setGeometry(room);
    NotesLabel->setVisible(!!Inhx32Hint->isHidden() || !!LineData->isHidden());
    if (!Inhx32Hint->isHidden()) {
        Inhx32Hint->setToolTip(QString::fromLatin1(kInhx32Tip) + QLatin1Char('\n') + whole);
    }
}

void TDisForm::LicTimerTimer() {
    LicTimer->stop();
    StatusPrimed = false;
    const bool loaded = LoadChipData();
    if (loaded || SourceChosen()) {
        FillChipList();
    }
}

bool TDisForm::LoadChipData() {
    // beside the program (the current directory), else in an installed tree's share/tolvek
    const std::string fileName = tolvek::FindDataFile("", tolvek::kChipDataFileName);
    if (!QFileInfo::exists(FromEngineText(fileName))) {
        return false;
    }
    tolvek::IoError error;
    if (!Chip.LoadChipFile(fileName, &error)) {
        ShowIoError(tolvek::IoError(
            "Cannot read",
            QDir::current().absoluteFilePath(FromEngineText(fileName)).toLocal8Bit().toStdString(),
            error.Reason()));
        return false;
    }
    return true;
}

void TDisForm::ShowChipMessage(const std::string& message) {
    QString text = FromEngineText(message);
    text.replace('\r', '\n');
    dialogs_->ShowError(QStringLiteral("Error"), text, this);
}

void TDisForm::PrimeStatus() {
    if (!StatusPrimed) {
        StatusLabel->setText(QStringLiteral("Waiting for Filename"));
        StatusPrimed = true;
    }
}

bool& TDisForm::HoverFlag(HoverButton button) {
    switch (button) {
        case kOpen:
            return OpenHover;
        case kStart:
            return StartHover;
        case kHelp:
            return HelpHover;
        case kClose:
            break;
    }
    return CloseHover;
}

TPictureButton* TDisForm::Button(HoverButton button) const {
    switch (button) {
        case kOpen:
            return OpenBut;
        case kStart:
            return StartBut;
        case kHelp:
            return HelpBut;
        case kClose:
            break;
    }
    return CloseBut;
}

void TDisForm::SetHover(HoverButton button) {
    Button(button)->ShowHoverPicture(true);
    Button(button)->setFocus();
    HoverFlag(button) = true;
    for (HoverButton other : {kOpen, kStart, kHelp, kClose}) {
        if (other != button && HoverFlag(other)) {
            Button(other)->ShowHoverPicture(false);
            HoverFlag(other) = false;
        }
    }
}

// On Open and Start the hover flag is tested first, so the status line is primed
// only when the pointer arrives; on Help and Close every movement may prime it.
void TDisForm::OpenButMouseMove() {
    if (OpenHover) {
        return;
    }
    PrimeStatus();
    SetHover(kOpen);
}

void TDisForm::StartButMouseMove() {
    if (StartHover) {
        return;
    }
    PrimeStatus();
    SetHover(kStart);
}

void TDisForm::HelpButMouseMove() {
    PrimeStatus();
    if (!HelpHover) {
        SetHover(kHelp);
    }
}

void TDisForm::CloseButMouseMove() {
    PrimeStatus();
    if (!CloseHover) {
        SetHover(kClose);
    }
}

void TDisForm::FormMouseMove() {
    for (HoverButton button : {kOpen, kStart, kHelp, kClose}) {
        if (HoverFlag(button)) {
            Button(button)->ShowHoverPicture(false);
            HoverFlag(button) = false;
        }
    }
}

void TDisForm::mouseMoveEvent(QMouseEvent* event) {
    // Movements over the status panel arrive here too; only the background and the
    // button panel put the buttons back to rest.
    const QWidget* under = childAt(event->position().toPoint());
    if (under == nullptr || under == ButtonPanel) {
        FormMouseMove();
    }
    QWidget::mouseMoveEvent(event);
}

bool TDisForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == OpenBut) {
            OpenButMouseMove();
        } else if (watched == StartBut) {
            StartButMouseMove();
        } else if (watched == HelpBut) {
            HelpButMouseMove();
        } else if (watched == CloseBut) {
            CloseButMouseMove();
        }
    } else if (event->type() == QEvent::KeyPress && watched == ComboBox1 &&
               ComboBox1KeyPress(static_cast<QKeyEvent*>(event))) {
        // the list searches by itself; the flag tells ComboBox1Change who chose
        typingChipName_ = true;
        static_cast<QObject*>(ComboBox1)->event(event);
        typingChipName_ = false;
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TDisForm::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    background_->render(&painter, QRectF(rect()));
}

void TDisForm::SetStatusRed(bool red) {
    SetTextColor(StatusLabel, red ? kErrorRed : Qt::black);
}

void TDisForm::SetStatus(const std::string& text) {
    StatusLabel->setText(FromEngineText(text));
    repaint();
}

void TDisForm::SetProgressMax(int maximum) {
    // a range of 0 to 0 would draw an endless busy bar after a run of no words
    PB->setMaximum(std::max(1, maximum));
}

void TDisForm::SetProgress(int position) {
    PB->setValue(position);
}

void TDisForm::SetBusyCursor(bool busy) {
    if (busy == cursorBusy_) {
        return;
    }
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
    cursorBusy_ = busy;
}

void TDisForm::ShowOutcome(const tolvek::Outcome& outcome) {
    LineLab->setText(FromEngineText(outcome.lineNumber));
    if (outcome.lineVisible) {
        LineData->setText(FromEngineText(outcome.line));
        LineData->setToolTip(LineData->text());
        LineData->show();
        LineData->raise();
        LineLab->show();
    }
    SetStatusRed(outcome.statusRed);
    StatusLabel->setText(FromEngineText(outcome.statusText));
    StatusLabel->setToolTip(StatusLabel->text());
    if (outcome.panelVisible) {
        const std::vector<QLabel*> labels = LegendLabels();
        for (std::size_t i = 0; i < labels.size(); ++i) {
            SetTextColor(labels[i], outcome.colors.red[i] ? kErrorRed : Qt::black);
        }
        ColLab->parentWidget()->show();
        ErrPan->show();
    }
}

void TDisForm::ShowIoError(const tolvek::IoError& error) {
    dialogs_->ShowError(QCoreApplication::applicationName(), FromEngineText(error.Message()), this);
}
