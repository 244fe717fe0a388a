#include "ui/Dis.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>

#include "base/Paths.h"
#include "convert/SplitMerge.h"
#include "job/Job.h"
#include "ui/Dishp.h"

namespace {

constexpr int kClientWidth = 543;
constexpr int kClientHeight = 251;
constexpr int kButtonWidth = 122;
constexpr int kButtonHeight = 44;

const QColor kPanelColor(0xe9, 0xe8, 0xe3);
const QColor kErrorRed(0xc8, 0x10, 0x10);

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

bool TDialogs::Execute(TOpenDialog& dialog, QWidget* parent) {
    QFileDialog fileDialog(parent, dialog.Title);
    fileDialog.setFileMode(QFileDialog::ExistingFile);
    fileDialog.setAcceptMode(QFileDialog::AcceptOpen);
    QStringList filters;
    for (const auto& entry : dialog.Filter) {
        filters << NameFilter(entry);
    }
    fileDialog.setNameFilters(filters);
    // The program's directory is the current one, so the dialog starts where the
    // user last found a file, or at home.
    fileDialog.setDirectory(lastDirectory_.isEmpty() ? QDir::homePath() : lastDirectory_);
    fileDialog.selectFile(dialog.FileName);
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty()) {
        return false;
    }
    dialog.FileName = fileDialog.selectedFiles().constFirst();
    lastDirectory_ = QFileInfo(dialog.FileName).absolutePath();
    return true;
}

void TDialogs::ShowError(const QString& title, const QString& text, QWidget* parent) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void TDialogs::ShowModal(QDialog& dialog) {
    dialog.exec();
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
                   const QString& programDirectory)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      HelpForm(helpForm),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<TDialogs>()),
      background_(std::make_unique<QSvgRenderer>(QStringLiteral(":/pictures/background.svg"))) {
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
    StatusLabel->setGeometry(10, 6, 507, 20);
    StatusLabel->setTextFormat(Qt::PlainText);

    FileLabel = new QLabel(StatusPanel);
    FileLabel->setGeometry(10, 32, 232, 40);
    FileLabel->setTextFormat(Qt::PlainText);
    FileLabel->setWordWrap(true);
    FileLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    RadioGroup1 = new QGroupBox(QStringLiteral("Format"), StatusPanel);
    RadioGroup1->setGeometry(248, 24, 170, 50);
    hxmRB = new QRadioButton(QStringLiteral("INHX8M"), RadioGroup1);
    HxsRB = new QRadioButton(QStringLiteral("INHX8S"), RadioGroup1);
    hxmRB->setChecked(true);
    auto* formats = new QHBoxLayout(RadioGroup1);
    formats->setContentsMargins(8, 0, 4, 2);
    formats->addWidget(hxmRB);
    formats->addWidget(HxsRB);

    ComboBox1 = new QComboBox(StatusPanel);
    ComboBox1->setGeometry(424, 40, 93, 28);
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
    ComboBox1->view()->installEventFilter(this);
    connect(ComboBox1, &QComboBox::activated, this, &TDisForm::ComboBox1Change);

    PB = new QProgressBar(StatusPanel);
    PB->setGeometry(10, 80, 507, 18);
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

    ButtonPanel = SunkenPanel(this, QRect(8, 176, 527, 52));
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
    ChipPicture->setGeometry(kClientWidth - 8 - 76, 231, 76, 18);
    ChipPicture->setPixmap(QIcon(QStringLiteral(":/pictures/chip.svg")).pixmap(QSize(76, 18)));

    HeadMemo = new QPlainTextEdit(this);
    HeadMemo->setReadOnly(true);
    HeadMemo->hide();

    setTabOrder(hxmRB, ComboBox1);
    setTabOrder(ComboBox1, OpenBut);
    setTabOrder(OpenBut, StartBut);
    setTabOrder(StartBut, HelpBut);
    setTabOrder(HelpBut, CloseBut);
}

tolvek::InputFormat TDisForm::SelectedFormat() const {
    return hxmRB->isChecked() ? tolvek::InputFormat::kInhx8m : tolvek::InputFormat::kInhx8s;
}

std::vector<QLabel*> TDisForm::LegendLabels() const {
    return {ColLab, ByteLab, AddLab, RTLab, DataLab, ChkLab};
}

void TDisForm::OpenButClick() {
    if (Job.Busy) {
        return;
    }
    if (hxmRB->isChecked()) {
        OpenDialog1.Title = QStringLiteral("Open INHX8M File");
        OpenDialog1.Filter = {{QStringLiteral("Hex Files (*.hex)"), QStringLiteral("*.hex")},
                              {QStringLiteral("Obj Files (*.obj)"), QStringLiteral("*.obj")},
                              {QStringLiteral("All Files (*.*)"), QStringLiteral("*.*")}};
        OpenDialog1.FileName = QStringLiteral("*.hex");
    } else {
        OpenDialog1.Title = QStringLiteral("Open INHX8S File");
        OpenDialog1.Filter = {{QStringLiteral("Hex Files (*.hxl)"), QStringLiteral("*.hxl")},
                              {QStringLiteral("Obj Files (*.obl)"), QStringLiteral("*.obl")},
                              {QStringLiteral("All Files (*.*)"), QStringLiteral("*.*")}};
        OpenDialog1.FileName = QStringLiteral("*.hxl");
    }
    if (dialogs_->Execute(OpenDialog1, this)) {
        StartBut->setEnabled(true);
        Job.Format = SelectedFormat();
        tolvek::IoError error;
        switch (Job.Open(ToEngineText(OpenDialog1.FileName), error)) {
            case tolvek::Job::OpenResult::kIoFailed:
                ShowIoError(error);
                return;
            case tolvek::Job::OpenResult::kMergeFailed:
                StatusLabel->setText(QString::fromLatin1(tolvek::kMergeFailedMessage.data(),
                                                         tolvek::kMergeFailedMessage.size()));
                return;
            case tolvek::Job::OpenResult::kReady:
                break;
        }
        const std::string base = tolvek::ExtractFileName(Job.InputFileName());
        FileLabel->setText(QStringLiteral("Disassemble Filename: ...\\") + FromEngineText(base) +
                           QStringLiteral(".dis"));
        SetStatusRed(false);
        StatusLabel->setText(QStringLiteral("Waiting for Start"));
        LineData->hide();
        LineLab->hide();
        ErrPan->hide();
    }
    OpenBut->ShowHoverPicture(false);
}

void TDisForm::StartButClick() {
    if (!Job.FileReady || Job.Busy) {
        return;
    }
    // the format and the dialog's file as they are when Start is pressed
    Job.Format = SelectedFormat();
    Job.ChosenFileName = ToEngineText(OpenDialog1.FileName);
    Job.Start(*this);
    StartBut->setEnabled(false);
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
    hxmRB->setFocus();
    Chip.SelectChip(ComboBox1->currentData().toByteArray().toStdString(),
                    [this](const std::string& message) { ShowChipMessage(message); });
}

bool TDisForm::ComboBox1KeyPress(QKeyEvent* event) {
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

void TDisForm::LicTimerTimer() {
    LicTimer->stop();
    StatusPrimed = false;
    const std::string fileName(tolvek::kChipDataFileName);
    if (!QFileInfo::exists(FromEngineText(fileName))) {
        return;
    }
    tolvek::IoError error;
    if (!Chip.LoadChipFile(fileName, &error)) {
        ShowIoError(tolvek::IoError(
            "Cannot read",
            QDir::current().absoluteFilePath(FromEngineText(fileName)).toLocal8Bit().toStdString(),
            error.Reason()));
        return;
    }
    ComboBox1->clear();
    for (const std::string& name : Chip.ChipList()) {
        ComboBox1->addItem(FromEngineText(name), QByteArray::fromStdString(name));
    }
    if (ComboBox1->count() > 0) {
        ComboBox1->setCurrentIndex(0);
    }
    Chip.SelectChip(ComboBox1->currentData().toByteArray().toStdString(),
                    [this](const std::string& message) { ShowChipMessage(message); });
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
    } else if (event->type() == QEvent::KeyPress &&
               (watched == ComboBox1 || watched == ComboBox1->view())) {
        if (ComboBox1KeyPress(static_cast<QKeyEvent*>(event))) {
            return true;
        }
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
    PB->setMaximum(maximum);
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
        ErrPan->show();
    }
}

void TDisForm::ShowIoError(const tolvek::IoError& error) {
    dialogs_->ShowError(QCoreApplication::applicationName(), FromEngineText(error.Message()), this);
}
