// The listing window: a listing (".dis") or reconstructed source (".asm") to
// read and move about in. Labels and jump targets are links; Back and Forward
// walk the jumps; a side list holds the functions and labels with the places
// that call or jump to the selected one; Find, Go to address and Rename, which
// keeps the new name in the symbol file beside the program.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "base/SymbolFile.h"
#include "browse/Document.h"
#include "job/SourceStudy.h"
#include "ui/ReplaceQuestion.h"

class QAction;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTreeView;
class QTreeWidget;
class TListingView;
class TLabelModel;
class TSourceMaker;
class QInputDialog;
class QMenu;
class QListWidget;
class QTabWidget;

// The listing window's keys, as a section of the manual.
QString ListingKeyMap();

// What waits on the user; tests put their own answers here.
struct TListingPrompts {
    // A text from the user, or nothing when cancelled.
    std::function<std::optional<QString>(QWidget* parent, const QString& title,
                                         const QString& label, const QString& text)>
        askText;
    // A listing or source to open, or an empty text when cancelled.
    std::function<QString(QWidget* parent, const QString& directory)> askOpenFile;
    std::function<void(QWidget* parent, const QString& title, const QString& text)> showError;
    // Before a symbol file Tolvek did not write is replaced, and the file to
    // write instead (empty when cancelled).
    std::function<TReplaceAnswer(QWidget* parent, const QString& path)> askReplace;
    std::function<QString(QWidget* parent, const QString& suggested)> askSaveFile;
    // Where to save a source, or an empty text when cancelled; the dialog has
    // asked before the user chose a file that exists.
    std::function<QString(QWidget* parent, const QString& proposed)> askSaveSource;
};

class TListingWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit TListingWindow(QWidget* parent = nullptr, TListingPrompts prompts = {});
    ~TListingWindow() override;

    // The device data and source runs of the main window: with them a source's
    // names are checked against its part, and the source is made again after a
    // rename as the next run will write it. Not owned.
    void SetSourceMaker(TSourceMaker* maker) { maker_ = maker; }

    // A dialog asking for one line of text, wide enough for its whole title.
    static QInputDialog* NewTextDialog(QWidget* parent, const QString& title, const QString& label,
                                       const QString& text);

    // Opens a listing or source and the symbol file beside it; false with the
    // reason in *error when the file cannot be read or is neither a listing nor
    // a source Tolvek writes.
    bool Open(const QString& path, QString* error = nullptr);
    QString FilePath() const { return path_; }
    // Where renames are saved: BASE.tolvek.sym beside the file, or the file
    // the user chose instead of one Tolvek did not write.
    QString SymbolPath() const;
    // The symbol file beside the file when Tolvek wrote it, else empty.
    QString OwnSymbolPath() const;
    const tolvek::browse::Document& Doc() const { return document_; }
    // The image and part a source was made from, as its first lines say;
    // empty for a listing or where the image is not beside the source.
    QString InputPath() const { return input_; }
    QString Part() const { return QString::fromStdString(part_); }
    // The source was made again from its image: the flow's data accesses are known.
    bool Studied() const { return studied_; }
    const std::vector<tolvek::DataAccess>& Accesses() const { return accesses_; }

    // Navigation. Jumps (links, the side lists, Go to) are remembered for Back
    // and Forward; the cursor's own moves and Find are not.
    void JumpToLine(int line);
    bool GoTo(const QString& addressOrName);
    bool Find(const QString& text, bool backward = false);
    void Back();
    void Forward();
    int CurrentLine() const;
    // Lines to go back and forward to, the nearest last.
    const std::vector<int>& BackHistory() const { return back_; }
    const std::vector<int>& ForwardHistory() const { return forward_; }

    // Renames what stands at the byte column of the line; false with the
    // reason in *error.
    bool Rename(int line, std::size_t column, const QString& name, QString* error = nullptr);
    // Asks for the new name of what stands at the cursor (or of the variable
    // selected, when the variables list has the focus).
    void RenameAtCursor();
    void RenameSelectedVariable();
    // Asks for a listing or source and opens it.
    void OpenFromDisk();
    // Makes the source again from its image and part with the names and
    // comments of the symbol file, writes it over the file shown and shows
    // it at the same place; false with the reason in *error.
    bool RunAgain(QString* error = nullptr);
    // Writes the source as a run makes it now into the file; false with the
    // reason in *error.
    bool SaveSourceAs(const QString& file, QString* error = nullptr);

    // The places that read, write or test a bit of the data memory location at
    // the byte column of the line (a register operand, or the name of a
    // register or location), in the references list; false with the reason in
    // the status bar when nothing is known of it. Places where the flow cannot
    // tell the bank come last, as "may be".
    bool ShowDataReferences(int line, std::size_t column);
    // The references of one data memory address, under the name given.
    void ShowLocationReferences(unsigned location, const QString& name);
    // The same for the cursor, in the list and in a popup at the cursor.
    void DataReferencesAtCursor();
    // The user's comment on a word: saved in the symbol file, shown at once and
    // written into the next source at that word; an empty text removes it.
    bool Comment(unsigned address, const QString& text, QString* error = nullptr);
    // Asks for the comment of the cursor's word.
    void CommentAtCursor();
    const std::map<unsigned, std::string>& Comments() const { return comments_; }
    // A bookmark on a word, with an optional text, kept in the symbol file;
    // nothing removes it.
    bool Bookmark(unsigned address, std::optional<QString> text, QString* error = nullptr);
    // Asks for the text of a bookmark on the cursor's word and sets it.
    void BookmarkAtCursor();
    const std::map<unsigned, std::string>& Bookmarks() const { return bookmarks_; }

    // Names a data memory location from the variables list.
    bool RenameLocation(unsigned address, const QString& name, QString* error = nullptr);

    // The label list shows the label (clearing a filter that hides it) and
    // the references list its uses.
    void SelectLabel(int label);
    int SelectedLabel() const;

    TListingView* View;
    QLineEdit* FilterEdit;
    QTreeView* LabelList;
    QLabel* RefTitle;
    QTreeWidget* RefList;
    QTabWidget* SideTabs;
    // every data memory location the program uses, with its reads and writes
    QTreeWidget* VariableList;
    // Back and Forward's places: older first, the current place marked
    QListWidget* HistoryList;
    // the bookmarks: a click goes there, Delete removes one
    QTreeWidget* BookmarkList;
    QMenu* RefPopup;
    QLineEdit* GoToEdit;
    QLineEdit* FindEdit;
    QLabel* AddressLabel;
    QAction* BackAction;
    QAction* ForwardAction;
    QAction* FindAction;
    QAction* FindNextAction;
    QAction* FindPreviousAction;
    QAction* GoToAction;
    QAction* RenameAction;
    QAction* ReferencesAction;
    QAction* OpenAction;
    QAction* RunAgainAction;
    QAction* BookmarkAction;
    QAction* SaveSourceAsAction;

  private:
    void CreateWidgets();
    void CreateActions();
    void ShowDocument(int firstLine, int cursorLine);
    void ShowReferences(int label);
    void FillVariables();
    void FillBookmarks();
    // The symbol file's text, or empty when there is none; false with the
    // reason when it cannot be read or Tolvek did not write it.
    bool ReadOwnSymbols(std::string* text, QString* error) const;
    bool WriteSymbols(const std::string& text, QString* error);
    // Sets or removes one comment or bookmark entry and shows the change.
    bool SetEntry(tolvek::SymbolKind kind, unsigned address, std::optional<std::string> text,
                  QString* error);
    // The text of a line for a list: its address and the label it lies in.
    QString PlaceText(int line) const;
    // Renames the target, whose place is the line (for the checks of its bank).
    bool RenameTo(const tolvek::browse::RenameTarget& target, int line, const QString& name,
                  QString* error);
    void CursorMoved();
    void UpdateHistoryActions();
    void Status(const QString& text);
    void ShowError(const QString& text);
    // Makes the source again from its image with the symbol file; false (and
    // nothing changed) when there is no image or part, or the run fails.
    bool Study(std::string* text, QString* why, const QString& symbols = QString());
    // Shows the text made again, keeping the view and history at their words.
    void ShowStudied(std::string text);
    // Why the rename of target at the line would not come out of the next run
    // as shown, or empty.
    QString BankFault(const tolvek::browse::RenameTarget& target, int line) const;

    TListingPrompts prompts_;
    QString path_;
    QString symbolPath_;  // chosen by the user; empty: beside the file
    tolvek::browse::Document document_;
    TLabelModel* labels_;
    QSortFilterProxyModel* filter_;
    std::vector<int> back_;
    std::vector<int> forward_;
    int shownRefs_ = -1;
    // a jump from the references list keeps the list as it is
    bool holdRefs_ = false;
    TSourceMaker* maker_ = nullptr;
    QString input_;
    bool split_ = false;
    std::string part_;
    bool studied_ = false;
    std::vector<tolvek::DataAccess> accesses_;
    std::map<unsigned, std::string> comments_;
    std::map<unsigned, std::string> bookmarks_;
    // accesses_ by data address, then word
    std::vector<std::size_t> byLocation_;
    unsigned bankSize_ = 0;
};
