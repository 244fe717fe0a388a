// The main window: choose the format, open a file, choose the chip, press Start and
// read the outcome on the status line.
#pragma once

#include <QString>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "chipdb/ChipData.h"
#include "job/Job.h"
#include "run/FrontEnd.h"
#include "ui/ReplaceQuestion.h"
#include "ui/SourceMaker.h"

class QComboBox;
class QDialog;
class QFileDialog;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSvgRenderer;
class QTimer;

class THelpForm;
class TListingWindow;

// The file-open dialog's settings; after Execute, FileName holds the chosen file.
struct TOpenDialog {
    QString Title;
    // Display text and the patterns (separated by blanks) that it stands for.
    std::vector<std::pair<QString, QString>> Filter;
    QString FileName;
};

// Gives a file dialog the filter list: each entry shows its display text and
// matches its own patterns, even where the text names others ("All Files (*.*)"
// matches every file, also names without a dot).
void SetFileFilters(QFileDialog& fileDialog,
                    const std::vector<std::pair<QString, QString>>& filter);

// Everything that waits on the user: the open dialog, message boxes and the modal
// help window. Tests put their own in its place.
class TDialogs {
  public:
    virtual ~TDialogs() = default;
    // False when the user cancels; the dialog only returns a file that exists.
    virtual bool Execute(TOpenDialog& dialog, QWidget* parent);
    // A modal box with an error icon and an OK button.
    virtual void ShowError(const QString& title, const QString& text, QWidget* parent);
    virtual void ShowModal(QDialog& dialog);
    // Before a file Tolvek did not write is replaced (see AskReplace), and the
    // file to write instead (empty when cancelled).
    virtual TReplaceAnswer AskReplace(const QString& path, const QString& what, QWidget* parent);
    virtual QString AskSaveFile(const QString& title, const QString& suggested,
                                const QString& filter, QWidget* parent);
};

// The folder of the last file the user opened, kept between sessions.
QString RememberedFolder();
void RememberFolder(const QString& fileName);

// A caption-less button that shows a resting or a hover picture.
class TPictureButton : public QToolButton {
    Q_OBJECT
  public:
    TPictureButton(const QString& resting, const QString& hover, QWidget* parent);
    void ShowHoverPicture(bool hover);
    bool HoverPictureShown() const { return hoverShown_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QIcon resting_;
    QIcon hover_;
    bool hoverShown_ = false;
};

class TDisForm : public QWidget, public tolvek::FrontEnd {
    Q_OBJECT
  public:
    // programDirectory defaults to the directory of the running program;
    // without a source maker only the classic listing is offered.
    explicit TDisForm(THelpForm* helpForm = nullptr, std::unique_ptr<TDialogs> dialogs = nullptr,
                      const QString& programDirectory = QString(),
                      std::unique_ptr<TSourceMaker> sourceMaker = nullptr);
    ~TDisForm() override;

    // The chip database and the job the buttons drive (the run state lives there).
    tolvek::ChipState Chip;
    tolvek::Job Job{Chip};

    bool OpenHover = false;
    bool StartHover = false;
    bool HelpHover = false;
    bool CloseHover = false;
    bool StatusPrimed = false;

    QFrame* StatusPanel;
    QLabel* StatusLabel;
    QLabel* FileLabel;
    QGroupBox* RadioGroup1;
    QRadioButton* hxmRB;
    QRadioButton* HxsRB;
    QRadioButton* Hx32RB;  // INHX8M with extended-address records
    QComboBox* ComboBox1;
    QProgressBar* PB;
    QFrame* ErrPan;
    QLabel* LineLab;
    QLabel* ColLab;
    QLabel* ByteLab;
    QLabel* AddLab;
    QLabel* RTLab;
    QLabel* DataLab;
    QLabel* ChkLab;
    QLabel* LineData;
    // After an INHX8M run stopped at an extended-address record: the file looks
    // like INHX32, which that choice reads.
    QLabel* Inhx32Hint;
    // What the run has to say beyond the status: checksums, hints, a pair's fault.
    QLabel* NotesLabel;
    QFrame* ButtonPanel;
    TPictureButton* OpenBut;
    TPictureButton* StartBut;
    TPictureButton* HelpBut;
    TPictureButton* CloseBut;
    QLabel* ChipPicture;
    QPlainTextEdit* HeadMemo;
    // What a run writes, and the way to what it wrote.
    QFrame* OutputPanel;
    QRadioButton* DisRB;     // the classic listing (.dis)
    QRadioButton* AsmRB;     // the reconstructed source (.asm)
    QPushButton* ShowBut;    // the listing window on the file the last run wrote
    QPushButton* BrowseBut;  // the listing window on a .dis or .asm from disk
    QString ResultFileName;  // what the last successful run wrote; empty when none
    TOpenDialog OpenDialog1;
    QTimer* LicTimer;
    THelpForm* HelpForm;

    void OpenButClick();
    void StartButClick();
    void HelpButClick();
    void CloseButClick();
    bool FormCloseQuery();
    void FormClose();
    void ComboBox1Change();
    // True for a key that types a character. Nothing is typed into the list:
    // the character searches it for a chip whose name starts with what was typed.
    bool ComboBox1KeyPress(QKeyEvent* event);
    void LicTimerTimer();
    // Reads chipdat.txt from the program's directory; false when it is missing or faulty.
    bool LoadChipData();
    void OutputChange();
    void ShowButClick();
    void BrowseButClick();
    // The listing window, made when first needed.
    TListingWindow* ListingWindow();
    void OpenButMouseMove();
    void StartButMouseMove();
    void HelpButMouseMove();
    void CloseButMouseMove();
    void FormMouseMove();

    // The six legend labels in the order of LabelColors.
    std::vector<QLabel*> LegendLabels() const;
    // The format of the radio buttons.
    tolvek::InputFormat SelectedFormat() const;

    // What the run shows, on the window's controls.
    void SetStatus(const std::string& text) override;
    void SetProgressMax(int maximum) override;
    void SetProgress(int position) override;
    void SetBusyCursor(bool busy) override;
    void ShowOutcome(const tolvek::Outcome& outcome) override;
    void ShowIoError(const tolvek::IoError& error) override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum HoverButton { kOpen, kStart, kHelp, kClose };

    void CreateControls();
    void CreateOutputControls();
    void LoadSettings();
    void SaveSettings() const;
    // Fills the chip list for the chosen output: chipdat.txt's chips or the parts
    // of the device data.
    void FillChipList();
    bool SourceChosen() const;
    void StartSource();
    void ResultWritten(const QString& fileName);
    // After a run that wrote nothing, and when the output choice changes:
    // nothing to show.
    void NoResult();
    // The focus after a run: Show when there is something to show, else Open.
    void FocusAfterRun();
    // The file label for the opened file and the chosen output.
    void ShowOutputName();
    void PrimeStatus();
    void SetHover(HoverButton button);
    bool& HoverFlag(HoverButton button);
    TPictureButton* Button(HoverButton button) const;
    void SetStatusRed(bool red);
    void ShowChipMessage(const std::string& message);
    void ShowListingName(const std::string& listingPath);
    void ShowInhx32Hint(bool show);
    void ShowNotes(const std::vector<std::string>& lines);

    std::unique_ptr<TDialogs> dialogs_;
    std::unique_ptr<QSvgRenderer> background_;
    std::unique_ptr<TSourceMaker> sourceMaker_;
    std::unique_ptr<TListingWindow> listingWindow_;
    QString sourcePart_;         // the part chosen for the source output
    QString disChip_;            // the chip chosen for the classic listing
    std::string openedListing_;  // the listing the opened file gives, for the file label
    bool cursorBusy_ = false;
    bool typingChipName_ = false;
};

// Turns engine text (8-bit, the system's encoding) into a window text and back.
QString FromEngineText(const std::string& text);
std::string ToEngineText(const QString& text);
