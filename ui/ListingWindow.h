// The listing window: a listing (".dis") or reconstructed source (".asm") to
// read and move about in. Labels and jump targets are links; Back and Forward
// walk the jumps; a side list holds the functions and labels with the places
// that call or jump to the selected one; Find, Go to address and Rename, which
// keeps the new name in the symbol file beside the program.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "browse/Document.h"
#include "ui/ReplaceQuestion.h"

class QAction;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTreeView;
class QTreeWidget;
class TListingView;
class TLabelModel;

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
};

class TListingWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit TListingWindow(QWidget* parent = nullptr, TListingPrompts prompts = {});
    ~TListingWindow() override;

    // Opens a listing or source and the symbol file beside it; false with the
    // reason in *error when the file cannot be read.
    bool Open(const QString& path, QString* error = nullptr);
    QString FilePath() const { return path_; }
    // Where renames are saved: BASE.tolvek.sym beside the file, or the file
    // the user chose instead of one Tolvek did not write.
    QString SymbolPath() const;
    const tolvek::browse::Document& Doc() const { return document_; }

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
    // Asks for the new name of what stands at the cursor.
    void RenameAtCursor();
    // Asks for a listing or source and opens it.
    void OpenFromDisk();

    // The label list shows the label (clearing a filter that hides it) and
    // the references list its uses.
    void SelectLabel(int label);
    int SelectedLabel() const;

    TListingView* View;
    QLineEdit* FilterEdit;
    QTreeView* LabelList;
    QLabel* RefTitle;
    QTreeWidget* RefList;
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
    QAction* OpenAction;

  private:
    void CreateWidgets();
    void CreateActions();
    void ShowDocument(int firstLine, int cursorLine);
    void ShowReferences(int label);
    void CursorMoved();
    void UpdateHistoryActions();
    void Status(const QString& text);
    void ShowError(const QString& text);

    TListingPrompts prompts_;
    QString path_;
    QString symbolPath_;  // chosen by the user; empty: beside the file
    tolvek::browse::Document document_;
    TLabelModel* labels_;
    QSortFilterProxyModel* filter_;
    std::vector<int> back_;
    std::vector<int> forward_;
    int shownRefs_ = -1;
};
