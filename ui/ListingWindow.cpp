#include "ui/ListingWindow.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryFile>
#include <QTextBlock>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#include "base/SymbolFile.h"
#include "browse/UserNames.h"
#include "ui/GraphWindow.h"
#include "ui/ListingView.h"
#include "ui/SourceMaker.h"

using tolvek::SymbolEntry;
using tolvek::SymbolKind;
using tolvek::browse::Document;
using tolvek::browse::Label;
using tolvek::browse::RefKind;
using tolvek::browse::RenameTarget;

namespace {

constexpr int kSortRole = Qt::UserRole + 1;
constexpr int kLabelRole = Qt::UserRole + 2;

QString Hex4(unsigned value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString FromBytes(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString KindText(RefKind kind) {
    switch (kind) {
        case RefKind::Call:
            return QObject::tr("call");
        case RefKind::Jump:
            return QObject::tr("jump");
        case RefKind::Other:
            break;
    }
    return QObject::tr("use");
}

// The data memory locations the user named in a symbol file's text.
std::unordered_map<std::string, unsigned> UserLocations(const std::string& symbols) {
    std::unordered_map<std::string, unsigned> locations;
    for (const SymbolEntry& entry : tolvek::ReadSymbolFile(symbols).entries) {
        if (entry.kind == SymbolKind::Ram) {
            locations.emplace(entry.text, entry.address);
        }
    }
    return locations;
}

// Where a line of one text of a source stands in another text of it: at the
// same distance above the same word.
int MapLine(const Document& from, const Document& to, int line) {
    const int last = static_cast<int>(to.LineCount()) - 1;
    for (int l = line; l >= 0 && static_cast<std::size_t>(l) < from.LineCount() && l < line + 64;
         ++l) {
        const int address = from.AddressOf(static_cast<std::size_t>(l));
        if (address < 0) {
            continue;
        }
        const int at = to.LineOfWord(static_cast<unsigned>(address));
        if (at >= 0) {
            return std::clamp(at - (l - line), 0, std::max(last, 0));
        }
        break;
    }
    return std::clamp(line, 0, std::max(last, 0));
}

TListingPrompts DefaultPrompts() {
    TListingPrompts prompts;
    prompts.askText = [](QWidget* parent, const QString& title, const QString& label,
                         const QString& text) -> std::optional<QString> {
        const std::unique_ptr<QInputDialog> dialog(
            TListingWindow::NewTextDialog(parent, title, label, text));
        if (dialog->exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog->textValue();
    };
    prompts.askOpenFile = [](QWidget* parent, const QString& directory) {
        return QFileDialog::getOpenFileName(
            parent, QObject::tr("Open Listing"), directory,
            QObject::tr("Listings and sources (*.dis *.asm);;All files (*)"));
    };
    prompts.showError = [](QWidget* parent, const QString& title, const QString& text) {
        QMessageBox::critical(parent, title, text);
    };
    prompts.askReplace = [](QWidget* parent, const QString& path) {
        return AskReplace(parent, path, QObject::tr("the names you give"));
    };
    prompts.askSaveFile = [](QWidget* parent, const QString& suggested) {
        return AskSaveFileName(parent, QObject::tr("Save Names As"), suggested,
                               QObject::tr("Symbol files (*.sym);;All files (*)"));
    };
    prompts.askSaveSource = [](QWidget* parent, const QString& proposed) {
        return QFileDialog::getSaveFileName(parent, QObject::tr("Save Source As"), proposed,
                                            QObject::tr("Sources (*.asm);;All files (*)"));
    };
    return prompts;
}

}  // namespace

// The functions and labels of the document, for the side list.
class TLabelModel : public QAbstractTableModel {
  public:
    explicit TLabelModel(QObject* parent) : QAbstractTableModel(parent) {}

    void SetDocument(const Document* document) {
        beginResetModel();
        document_ = document;
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() || document_ == nullptr
                   ? 0
                   : static_cast<int>(document_->Labels().size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 3; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return {};
        }
        switch (section) {
            case 0:
                return tr("Address");
            case 1:
                return tr("Name");
            default:
                return tr("Uses");
        }
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (document_ == nullptr || !index.isValid()) {
            return {};
        }
        const Label& label = document_->Labels()[static_cast<std::size_t>(index.row())];
        switch (role) {
            case Qt::DisplayRole:
                if (index.column() == 0) {
                    return label.address < 0 ? QString()
                                             : Hex4(static_cast<unsigned>(label.address));
                }
                if (index.column() == 1) {
                    return FromBytes(label.name);
                }
                return static_cast<int>(label.refs.size());
            case kSortRole:
                if (index.column() == 0) {
                    return label.address;
                }
                if (index.column() == 1) {
                    return FromBytes(label.name).toLower();
                }
                return static_cast<int>(label.refs.size());
            case Qt::FontRole:
                if (label.function) {
                    QFont font;
                    font.setBold(true);
                    return font;
                }
                return {};
            case Qt::ToolTipRole:
                return label.function ? tr("Function (a call target)")
                                      : tr("Label (a jump target)");
            case Qt::TextAlignmentRole:
                return index.column() == 1 ? QVariant()
                                           : QVariant(Qt::AlignRight | Qt::AlignVCenter);
            case kLabelRole:
                return index.row();
            default:
                return {};
        }
    }

  private:
    const Document* document_ = nullptr;
};

TListingWindow::TListingWindow(QWidget* parent, TListingPrompts prompts)
    : QMainWindow(parent), prompts_(std::move(prompts)) {
    const TListingPrompts defaults = DefaultPrompts();
    if (!prompts_.askText) {
        prompts_.askText = defaults.askText;
    }
    if (!prompts_.askOpenFile) {
        prompts_.askOpenFile = defaults.askOpenFile;
    }
    if (!prompts_.showError) {
        prompts_.showError = defaults.showError;
    }
    if (!prompts_.askSaveFile) {
        prompts_.askSaveFile = defaults.askSaveFile;
    }
    if (!prompts_.askSaveSource) {
        prompts_.askSaveSource = defaults.askSaveSource;
    }
    CreateWidgets();
    CreateActions();
    resize(1040, 720);
    setWindowTitle(tr("Listing - Tolvek"));
}

TListingWindow::~TListingWindow() {
    // The widgets read the document, which goes before the base class takes
    // them down: they go first.
    delete centralWidget();
    labels_->SetDocument(nullptr);
}

void TListingWindow::CreateWidgets() {
    View = new TListingView(this);
    View->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* side = new QWidget(this);
    auto* column = new QVBoxLayout(side);
    column->setContentsMargins(4, 4, 0, 4);
    FilterEdit = new QLineEdit(side);
    FilterEdit->setPlaceholderText(tr("Filter functions and labels"));
    FilterEdit->setClearButtonEnabled(true);
    labels_ = new TLabelModel(this);
    filter_ = new QSortFilterProxyModel(this);
    filter_->setSourceModel(labels_);
    filter_->setFilterKeyColumn(-1);
    filter_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    filter_->setSortRole(kSortRole);
    LabelList = new QTreeView(side);
    LabelList->setModel(filter_);
    LabelList->setRootIsDecorated(false);
    LabelList->setUniformRowHeights(true);
    LabelList->setAlternatingRowColors(true);
    LabelList->setSortingEnabled(true);
    LabelList->sortByColumn(0, Qt::AscendingOrder);
    LabelList->setSelectionMode(QAbstractItemView::SingleSelection);
    LabelList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Fixed widths: fitting columns to their contents reads every row, which
    // costs more than the rest of opening a large listing.
    const QFontMetrics metrics(LabelList->font());
    const int padding = 3 * metrics.horizontalAdvance(QLatin1Char(' '));
    LabelList->header()->setStretchLastSection(false);
    LabelList->header()->setSectionResizeMode(QHeaderView::Interactive);
    LabelList->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    LabelList->setColumnWidth(0, metrics.horizontalAdvance(tr("Address")) + 2 * padding);
    LabelList->setColumnWidth(2, metrics.horizontalAdvance(tr("Uses")) + 2 * padding);
    RefTitle = new QLabel(tr("Select a label to see where it is used."), side);
    RefTitle->setWordWrap(true);
    RefList = new QTreeWidget(side);
    RefList->setColumnCount(3);
    RefList->setHeaderLabels({tr("From"), tr("How"), tr("Instruction")});
    RefList->setRootIsDecorated(false);
    RefList->setUniformRowHeights(true);
    RefList->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    RefList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    VariableList = new QTreeWidget(side);
    VariableList->setColumnCount(7);
    VariableList->setHeaderLabels({tr("Address"), tr("Name"), tr("Bank"), tr("Reads"), tr("Writes"),
                                   tr("Bits"), tr("May be")});
    VariableList->setRootIsDecorated(false);
    VariableList->setUniformRowHeights(true);
    VariableList->setAlternatingRowColors(true);
    VariableList->setSortingEnabled(true);
    VariableList->setContextMenuPolicy(Qt::CustomContextMenu);
    VariableList->setToolTip(
        tr("Every data memory location the program uses; Enter shows its references, F2 or n "
           "renames it"));
    for (int c = 2; c < 7; ++c) {
        VariableList->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    }
    auto* labelsPage = new QWidget(side);
    auto* labelsColumn = new QVBoxLayout(labelsPage);
    labelsColumn->setContentsMargins(0, 0, 0, 0);
    labelsColumn->addWidget(FilterEdit);
    labelsColumn->addWidget(LabelList);
    SideTabs = new QTabWidget(side);
    SideTabs->setDocumentMode(true);
    SideTabs->addTab(labelsPage, tr("Labels"));
    SideTabs->addTab(VariableList, tr("Variables"));
    HistoryList = new QListWidget(side);
    HistoryList->setToolTip(tr("Where Back and Forward go; click one to go back or forward to it"));
    SideTabs->addTab(HistoryList, tr("History"));
    BookmarkList = new QTreeWidget(side);
    BookmarkList->setColumnCount(3);
    BookmarkList->setHeaderLabels({tr("Address"), tr("Label"), tr("Text")});
    BookmarkList->setRootIsDecorated(false);
    BookmarkList->setUniformRowHeights(true);
    BookmarkList->setToolTip(
        tr("Ctrl+B sets a bookmark; click one to go there, Delete removes it"));
    SideTabs->addTab(BookmarkList, tr("Bookmarks"));
    column->addWidget(SideTabs, 3);
    column->addWidget(RefTitle);
    column->addWidget(RefList, 2);
    RefPopup = new QMenu(this);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(side);
    splitter->addWidget(View);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    // the side opens wide enough for every tab's name whole; narrowed by the
    // user, the tabs scroll rather than cut their names short
    SideTabs->tabBar()->setElideMode(Qt::ElideNone);
    SideTabs->setUsesScrollButtons(true);
    const int sideWidth = std::max(300, SideTabs->tabBar()->sizeHint().width() + 4);
    splitter->setSizes({sideWidth, 740});
    setCentralWidget(splitter);

    AddressLabel = new QLabel(this);
    AddressLabel->setMinimumWidth(320);
    statusBar()->addPermanentWidget(AddressLabel);

    connect(FilterEdit, &QLineEdit::textChanged, filter_,
            &QSortFilterProxyModel::setFilterFixedString);
    connect(LabelList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!holdRefs_) {
                    ShowReferences(current.isValid() ? current.data(kLabelRole).toInt() : -1);
                }
            });
    auto jumpToLabel = [this](const QModelIndex& index) {
        const int label = index.data(kLabelRole).toInt();
        JumpToLine(static_cast<int>(document_.Labels()[static_cast<std::size_t>(label)].line));
    };
    connect(LabelList, &QTreeView::clicked, this, jumpToLabel);
    connect(LabelList, &QTreeView::activated, this, jumpToLabel);
    // The cursor's move selects the label it lands in, but the references list
    // stays: a second click (a double click's) must find the item it aimed at.
    auto jumpToReference = [this](QTreeWidgetItem* item) {
        holdRefs_ = true;
        JumpToLine(item->data(0, Qt::UserRole).toInt());
        holdRefs_ = false;
    };
    connect(RefList, &QTreeWidget::itemActivated, this, jumpToReference);
    connect(RefList, &QTreeWidget::itemClicked, this, jumpToReference);
    connect(VariableList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const unsigned address = item->data(0, Qt::UserRole).toUInt();
        const std::string name = document_.NameOfLocation(address);
        ShowLocationReferences(
            address, name.empty() ? QStringLiteral("0x%1").arg(address, 3, 16, QLatin1Char('0'))
                                  : FromBytes(name));
    });
    // F2 is the window's Rename, which asks here when the list has the focus
    auto* renameKey =
        new QShortcut(QKeySequence(Qt::Key_N), VariableList, nullptr, nullptr, Qt::WidgetShortcut);
    connect(renameKey, &QShortcut::activated, this, &TListingWindow::RenameSelectedVariable);
    connect(VariableList, &QWidget::customContextMenuRequested, this, [this] {
        QMenu menu(this);
        menu.addAction(tr("Rename..."), this, &TListingWindow::RenameSelectedVariable);
        menu.exec(QCursor::pos());
    });
    auto goToBookmark = [this](QTreeWidgetItem* item) {
        JumpToLine(document_.LineOfAddress(item->data(0, Qt::UserRole).toUInt()));
    };
    connect(BookmarkList, &QTreeWidget::itemClicked, this, goToBookmark);
    connect(BookmarkList, &QTreeWidget::itemActivated, this, goToBookmark);
    auto* removeBookmark =
        new QShortcut(QKeySequence::Delete, BookmarkList, nullptr, nullptr, Qt::WidgetShortcut);
    connect(removeBookmark, &QShortcut::activated, this, [this] {
        const QTreeWidgetItem* item = BookmarkList->currentItem();
        QString error;
        if (item != nullptr &&
            !Bookmark(item->data(0, Qt::UserRole).toUInt(), std::nullopt, &error)) {
            ShowError(error);
        }
    });
    connect(HistoryList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        // steps back (negative) or forward from here
        for (int steps = item->data(Qt::UserRole).toInt(); steps != 0;
             steps += steps < 0 ? 1 : -1) {
            if (steps < 0) {
                Back();
            } else {
                Forward();
            }
        }
    });
    connect(View, &TListingView::FollowRequested, this, &TListingWindow::JumpToLine);
    connect(View, &QPlainTextEdit::cursorPositionChanged, this, &TListingWindow::CursorMoved);
    connect(View, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QTextCursor cursor = View->cursorForPosition(at);
        if (!View->textCursor().hasSelection()) {
            View->setTextCursor(cursor);
        }
        QMenu menu(this);
        const int target = View->TargetAt(cursor);
        QAction* follow = menu.addAction(tr("Go to Target"));
        follow->setEnabled(target >= 0);
        connect(follow, &QAction::triggered, this, [this, target] { JumpToLine(target); });
        menu.addAction(RenameAction);
        menu.addAction(ReferencesAction);
        menu.addAction(tr("Comment..."), this, &TListingWindow::CommentAtCursor);
        menu.addAction(BookmarkAction);
        menu.addSeparator();
        menu.addAction(BackAction);
        menu.addAction(ForwardAction);
        menu.addSeparator();
        QAction* copy = menu.addAction(tr("Copy"), View, &QPlainTextEdit::copy);
        copy->setEnabled(View->textCursor().hasSelection());
        menu.exec(View->viewport()->mapToGlobal(at));
    });
}

void TListingWindow::CreateActions() {
    QStyle* look = style();
    BackAction = new QAction(look->standardIcon(QStyle::SP_ArrowBack), tr("Back"), this);
    BackAction->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::Key_Back)});
    BackAction->setToolTip(tr("Back to where the last jump started (Alt+Left)"));
    ForwardAction = new QAction(look->standardIcon(QStyle::SP_ArrowForward), tr("Forward"), this);
    ForwardAction->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence(Qt::Key_Forward)});
    ForwardAction->setToolTip(tr("Forward again (Alt+Right)"));
    GoToAction = new QAction(tr("Go to Address..."), this);
    GoToAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    FindAction = new QAction(tr("Find..."), this);
    FindAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    FindNextAction = new QAction(look->standardIcon(QStyle::SP_ArrowDown), tr("Find Next"), this);
    FindNextAction->setShortcut(QKeySequence(Qt::Key_F3));
    FindNextAction->setToolTip(tr("Find the next match (F3)"));
    FindPreviousAction =
        new QAction(look->standardIcon(QStyle::SP_ArrowUp), tr("Find Previous"), this);
    FindPreviousAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    FindPreviousAction->setToolTip(tr("Find the previous match (Shift+F3)"));
    RenameAction = new QAction(tr("Rename..."), this);
    RenameAction->setShortcut(QKeySequence(Qt::Key_F2));
    RenameAction->setToolTip(tr("Rename the label or data memory location at the cursor (F2)"));
    ReferencesAction = new QAction(tr("Data References"), this);
    ReferencesAction->setToolTip(
        tr("Where the register or data memory location at the cursor is read, written or has a "
           "bit tested or set (x)"));
    OpenAction = new QAction(look->standardIcon(QStyle::SP_DialogOpenButton), tr("Open..."), this);
    OpenAction->setShortcut(QKeySequence::Open);
    OpenAction->setToolTip(tr("Open a listing (.dis) or source (.asm)"));
    RunAgainAction = new QAction(tr("Run Again"), this);
    RunAgainAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    RunAgainAction->setToolTip(
        tr("Make the source again from its image with the names and comments given here "
           "(Ctrl+R)"));
    BookmarkAction = new QAction(tr("Bookmark..."), this);
    BookmarkAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    BookmarkAction->setToolTip(tr("Bookmark the word of the cursor's line (Ctrl+B)"));
    SaveSourceAsAction = new QAction(tr("Save Source As..."), this);
    SaveSourceAsAction->setShortcut(QKeySequence::SaveAs);
    SaveSourceAsAction->setToolTip(tr("Write the source as a run makes it now into a file"));
    auto* closeAction = new QAction(tr("Close"), this);
    closeAction->setShortcut(QKeySequence::Close);
    for (QAction* action : {BackAction, ForwardAction, GoToAction, FindAction, FindNextAction,
                            FindPreviousAction, RenameAction, ReferencesAction, OpenAction,
                            RunAgainAction, BookmarkAction, SaveSourceAsAction, closeAction}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }

    GoToEdit = new QLineEdit(this);
    GoToEdit->setPlaceholderText(tr("Address or label (Ctrl+G)"));
    GoToEdit->setMaximumWidth(200);
    FindEdit = new QLineEdit(this);
    FindEdit->setPlaceholderText(tr("Find (Ctrl+F)"));
    FindEdit->setClearButtonEnabled(true);
    FindEdit->setMaximumWidth(240);

    QToolBar* bar = addToolBar(tr("Navigation"));
    bar->setObjectName(QStringLiteral("navigation"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->addAction(BackAction);
    bar->addAction(ForwardAction);
    bar->addSeparator();
    bar->addWidget(GoToEdit);
    bar->addSeparator();
    bar->addWidget(FindEdit);
    bar->addAction(FindPreviousAction);
    bar->addAction(FindNextAction);
    bar->addSeparator();
    bar->addAction(RenameAction);
    bar->addAction(OpenAction);
    bar->addAction(RunAgainAction);
    bar->addSeparator();
    AddGraphViews(this, bar);

    connect(BackAction, &QAction::triggered, this, &TListingWindow::Back);
    connect(ForwardAction, &QAction::triggered, this, &TListingWindow::Forward);
    connect(GoToAction, &QAction::triggered, this, [this] {
        GoToEdit->setFocus();
        GoToEdit->selectAll();
    });
    connect(FindAction, &QAction::triggered, this, [this] {
        const QString selected = View->textCursor().selectedText();
        if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)) {
            FindEdit->setText(selected);
        }
        FindEdit->setFocus();
        FindEdit->selectAll();
    });
    connect(FindNextAction, &QAction::triggered, this, [this] { Find(FindEdit->text()); });
    connect(FindPreviousAction, &QAction::triggered, this,
            [this] { Find(FindEdit->text(), true); });
    connect(RenameAction, &QAction::triggered, this, &TListingWindow::RenameAtCursor);
    connect(ReferencesAction, &QAction::triggered, this, &TListingWindow::DataReferencesAtCursor);
    // the single keys of the text, as readers of disassemblies have them; in
    // the fields they are only letters
    const struct {
        QKeySequence key;
        std::function<void()> act;
    } keys[] = {
        {QKeySequence(Qt::Key_N), [this] { RenameAtCursor(); }},
        {QKeySequence(Qt::Key_X), [this] { DataReferencesAtCursor(); }},
        {QKeySequence(Qt::Key_G), [this] { GoToAction->trigger(); }},
        {QKeySequence(Qt::Key_Semicolon), [this] { CommentAtCursor(); }},
        {QKeySequence(Qt::Key_Escape), [this] { Back(); }},
    };
    for (const auto& key : keys) {
        auto* shortcut = new QShortcut(key.key, View, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, key.act);
    }
    connect(OpenAction, &QAction::triggered, this, &TListingWindow::OpenFromDisk);
    connect(BookmarkAction, &QAction::triggered, this, &TListingWindow::BookmarkAtCursor);
    connect(RunAgainAction, &QAction::triggered, this, [this] {
        QString error;
        if (!RunAgain(&error)) {
            ShowError(error);
        }
    });
    connect(SaveSourceAsAction, &QAction::triggered, this, [this] {
        const QString chosen = prompts_.askSaveSource(this, path_);
        QString error;
        if (!chosen.isEmpty() && !SaveSourceAs(chosen, &error)) {
            ShowError(error);
        }
    });
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    connect(GoToEdit, &QLineEdit::returnPressed, this, [this] {
        if (GoTo(GoToEdit->text())) {
            View->setFocus();
        }
    });
    connect(FindEdit, &QLineEdit::returnPressed, this, [this] { Find(FindEdit->text()); });
    // Escape leaves the fields for the text again
    for (QLineEdit* edit : {GoToEdit, FindEdit, FilterEdit}) {
        auto* escape =
            new QShortcut(QKeySequence(Qt::Key_Escape), edit, nullptr, nullptr, Qt::WidgetShortcut);
        connect(escape, &QShortcut::activated, View, qOverload<>(&QWidget::setFocus));
    }
    UpdateHistoryActions();
}

QString TListingWindow::OwnSymbolPath() const {
    QFile file(SymbolPath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray first = file.readLine(256);
    return tolvek::HasSymbolFileHeader(first.toStdString()) ? SymbolPath() : QString();
}

QString TListingWindow::SymbolPath() const {
    if (!symbolPath_.isEmpty()) {
        return symbolPath_;
    }
    return QFile::decodeName(QByteArray::fromStdString(tolvek::SymbolFilePath(PathBytes(path_))));
}

bool TListingWindow::Open(const QString& path, QString* error) {
    QFile file(path);
    // a FIFO would block the window until something wrote to it
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile()) {
        if (error != nullptr) {
            *error = tr("\"%1\" is not a file.").arg(QDir::toNativeSeparators(path));
        }
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr) {
            *error = tr("Cannot read \"%1\": %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        }
        return false;
    }
    // The largest listing of these chips is a few megabytes; a file far larger
    // is no listing, and the view would hold it several times over.
    constexpr qint64 kLargest = 64 << 20;
    if (file.size() > kLargest) {
        if (error != nullptr) {
            *error = tr("\"%1\" is too large for a listing (%2 MB; at most %3 MB).")
                         .arg(QDir::toNativeSeparators(path))
                         .arg(file.size() >> 20)
                         .arg(kLargest >> 20);
        }
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error != nullptr) {
            *error = tr("Cannot read \"%1\": %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        }
        return false;
    }
    const auto format = tolvek::browse::FormatOfPath(PathBytes(path));
    Document document = Document::Parse(bytes.toStdString(), format);
    std::string unknown;
    if (!document.Recognised(&unknown)) {
        if (error != nullptr) {
            *error = tr("\"%1\" is not a listing or source: %2.")
                         .arg(QDir::toNativeSeparators(path), FromBytes(unknown));
        }
        return false;
    }

    // The names the user gave before: a classic listing knows nothing of them,
    // and a source written before the last rename does not have them yet.
    path_ = path;
    symbolPath_.clear();
    QString note;
    comments_.clear();
    bookmarks_.clear();
    QFile symbols(SymbolPath());
    std::string symbolText;
    const bool haveSymbols = QFileInfo(symbols).isFile() && symbols.open(QIODevice::ReadOnly);
    if (haveSymbols) {
        symbolText = symbols.readAll().toStdString();
    }
    tolvek::browse::NamesRead read;
    document = tolvek::browse::WithUserNames(std::move(document), symbolText, false, &read);
    if (haveSymbols && !read.tolveks) {
        note = tr("%1 was not written by Tolvek (its first line is not \"%2\"); left alone.")
                   .arg(QFileInfo(symbols).fileName(), FromBytes(tolvek::kSymbolFileHeader));
    } else if (haveSymbols) {
        if (read.fault) {
            note = tr("%1, line %2: %3")
                       .arg(QFileInfo(symbols).fileName())
                       .arg(read.fault->line)
                       .arg(FromBytes(read.fault->text));
        }
        for (const SymbolEntry& entry : tolvek::ReadSymbolFile(symbolText).entries) {
            if (entry.kind == SymbolKind::Comment || entry.kind == SymbolKind::Bookmark) {
                (entry.kind == SymbolKind::Comment ? comments_ : bookmarks_)[entry.address] =
                    entry.text;
            }
        }
    }
    document_ = std::move(document);
    back_.clear();
    forward_.clear();
    UpdateHistoryActions();
    FilterEdit->clear();
    // the image and part the source was made from, for the checks of names
    // and the source made again
    const Document::Origin origin = document_.SourceOrigin();
    part_ = origin.part;
    input_.clear();
    split_ = false;
    if (format == tolvek::browse::Format::Source && !origin.input.empty() &&
        origin.input.find('/') == std::string::npos) {
        const QString image = QFileInfo(path).dir().filePath(FromBytes(origin.input));
        if (QFileInfo(image).isFile()) {
            input_ = image;
            split_ = image.endsWith(QStringLiteral(".hxl"), Qt::CaseInsensitive);
        }
    }
    accesses_.clear();
    byLocation_.clear();
    studied_ = false;
    std::string made;
    if (Study(&made, nullptr)) {
        // shown as the next run writes it: the names and comments given
        // since the file was written are in it
        studied_ = true;
        if (made != document_.Text()) {
            ShowStudied(std::move(made));
            note = tr("Shown as a run makes it now, with the names and comments of %1; Ctrl+R "
                      "writes it.")
                       .arg(QFileInfo(SymbolPath()).fileName());
        }
    } else if (!comments_.empty()) {
        Document commented = Document::Parse(document_.Commented(comments_, {}), format);
        commented.SetUserLocations(document_.UserLocations());
        document_ = std::move(commented);
    }
    ShowDocument(0, 0);
    setWindowTitle(tr("%1 - Tolvek").arg(QFileInfo(path).fileName()));
    setWindowFilePath(path);
    Status(note.isEmpty()
               ? tr("%1 lines, %2 labels").arg(document_.LineCount()).arg(document_.Labels().size())
               : note);
    return true;
}

bool TListingWindow::ReadOwnSymbols(std::string* text, QString* error) const {
    const QString symbolPath = SymbolPath();
    QFile existing(symbolPath);
    text->clear();
    if (!existing.exists()) {
        return true;
    }
    QString why;
    if (!QFileInfo(existing).isFile()) {
        why = tr("\"%1\" is not a file.").arg(QDir::toNativeSeparators(symbolPath));
    } else if (!existing.open(QIODevice::ReadOnly)) {
        why = tr("Cannot read \"%1\": %2")
                  .arg(QDir::toNativeSeparators(symbolPath), existing.errorString());
    } else {
        *text = existing.readAll().toStdString();
        if (!tolvek::HasSymbolFileHeader(*text)) {
            why = tr("\"%1\" was not written by Tolvek (its first line is not \"%2\"); "
                     "nothing is saved over it.")
                      .arg(QDir::toNativeSeparators(symbolPath),
                           FromBytes(tolvek::kSymbolFileHeader));
        }
    }
    if (!why.isEmpty() && error != nullptr) {
        *error = why;
    }
    return why.isEmpty();
}

bool TListingWindow::WriteSymbols(const std::string& text, QString* error) {
    QSaveFile file(SymbolPath());
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        if (error != nullptr) {
            *error = tr("Cannot write \"%1\": %2")
                         .arg(QDir::toNativeSeparators(SymbolPath()), file.errorString());
        }
        return false;
    }
    return true;
}

bool TListingWindow::SetEntry(tolvek::SymbolKind kind, unsigned address,
                              std::optional<std::string> text, QString* error) {
    std::string old;
    if (!ReadOwnSymbols(&old, error)) {
        return false;
    }
    const std::string updated = tolvek::UpdateSymbolFile(
        old, kind, address, text ? std::optional<std::string_view>(*text) : std::nullopt);
    if (!WriteSymbols(updated, error)) {
        return false;
    }
    // what the file holds now, as the next run reads it
    std::map<unsigned, std::string>& entries =
        kind == tolvek::SymbolKind::Comment ? comments_ : bookmarks_;
    const std::map<unsigned, std::string> shown = comments_;
    entries.erase(address);
    for (const SymbolEntry& entry : tolvek::ReadSymbolFile(updated).entries) {
        if (entry.kind == kind && entry.address == address) {
            entries[address] = entry.text;
        }
    }
    if (kind == tolvek::SymbolKind::Bookmark) {
        FillBookmarks();
        return true;
    }
    std::string made;
    if (studied_ && Study(&made, nullptr)) {
        ShowStudied(std::move(made));
        return true;
    }
    Document commented =
        Document::Parse(document_.Commented(comments_, shown), document_.GetFormat());
    commented.SetUserLocations(document_.UserLocations());
    const int first = View->FirstVisibleLine();
    const int cursor = CurrentLine();
    document_ = std::move(commented);
    ShowDocument(first, cursor);
    return true;
}

bool TListingWindow::Comment(unsigned address, const QString& text, QString* error) {
    const QString trimmed = text.trimmed();
    if (!SetEntry(tolvek::SymbolKind::Comment, address,
                  trimmed.isEmpty() ? std::nullopt : std::optional(trimmed.toStdString()), error)) {
        return false;
    }
    Status(trimmed.isEmpty() ? tr("Comment at %1 removed.").arg(Hex4(address))
                             : tr("Comment at %1 saved in %2.")
                                   .arg(Hex4(address), QFileInfo(SymbolPath()).fileName()));
    return true;
}

void TListingWindow::CommentAtCursor() {
    const int address = document_.WordAddressOf(static_cast<std::size_t>(CurrentLine()));
    if (address < 0) {
        Status(tr("Put the cursor on a line with a word to comment it."));
        return;
    }
    const auto it = comments_.find(static_cast<unsigned>(address));
    const auto answer = prompts_.askText(this, tr("Comment"),
                                         tr("Comment on the word at %1 (empty removes it):")
                                             .arg(Hex4(static_cast<unsigned>(address))),
                                         it != comments_.end() ? FromBytes(it->second) : QString());
    QString error;
    if (answer && !Comment(static_cast<unsigned>(address), *answer, &error)) {
        ShowError(error);
    }
}

bool TListingWindow::Bookmark(unsigned address, std::optional<QString> text, QString* error) {
    return SetEntry(tolvek::SymbolKind::Bookmark, address,
                    text ? std::optional(text->trimmed().toStdString()) : std::nullopt, error);
}

void TListingWindow::BookmarkAtCursor() {
    const int address = document_.WordAddressOf(static_cast<std::size_t>(CurrentLine()));
    if (address < 0) {
        Status(tr("Put the cursor on a line with a word to bookmark it."));
        return;
    }
    const auto it = bookmarks_.find(static_cast<unsigned>(address));
    const auto answer = prompts_.askText(
        this, tr("Bookmark"),
        tr("Bookmark at %1, with a text if you like:").arg(Hex4(static_cast<unsigned>(address))),
        it != bookmarks_.end() ? FromBytes(it->second) : QString());
    QString error;
    if (!answer) {
        return;
    }
    if (!Bookmark(static_cast<unsigned>(address), *answer, &error)) {
        ShowError(error);
        return;
    }
    Status(tr("Bookmark at %1 saved in %2.")
               .arg(Hex4(static_cast<unsigned>(address)), QFileInfo(SymbolPath()).fileName()));
}

void TListingWindow::FillBookmarks() {
    BookmarkList->clear();
    QList<QTreeWidgetItem*> items;
    for (const auto& [address, text] : bookmarks_) {
        const int line = document_.LineOfAddress(address);
        const int label = line >= 0 ? document_.LabelBefore(static_cast<std::size_t>(line)) : -1;
        auto* item = new QTreeWidgetItem(
            {Hex4(address),
             label >= 0 ? FromBytes(document_.Labels()[static_cast<std::size_t>(label)].name)
                        : QString(),
             FromBytes(text)});
        item->setData(0, Qt::UserRole, address);
        items.append(item);
    }
    BookmarkList->addTopLevelItems(items);
}

bool TListingWindow::SaveSourceAs(const QString& file, QString* error) {
    auto fail = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    if (maker_ == nullptr || input_.isEmpty() || part_.empty()) {
        return fail(
            tr("A source is made again from the image it was made from, which must lie "
               "beside it: open a source made by a run."));
    }
    if (QFileInfo(file).exists() && QFileInfo(file) == QFileInfo(input_)) {
        return fail(
            tr("\"%1\" is the image the source is made from.").arg(QDir::toNativeSeparators(file)));
    }
    TSourceRequest request;
    request.input = PathBytes(input_);
    request.split = split_;
    request.part = part_;
    request.symbols = OwnSymbolPath().isEmpty() ? std::string() : PathBytes(OwnSymbolPath());
    request.output = PathBytes(file);
    const TSourceResult result = maker_->Make(request);
    if (!result.written) {
        return fail(FromBytes(result.status));
    }
    Status(tr("Source written to %1.").arg(QDir::toNativeSeparators(file)));
    return true;
}

bool TListingWindow::RunAgain(QString* error) {
    const QString shown = path_;
    if (!SaveSourceAs(shown, error)) {
        return false;
    }
    // the new text at the place of the old
    const Document before = document_;
    const int first = View->FirstVisibleLine();
    const int cursor = CurrentLine();
    std::vector<int> back = back_;
    std::vector<int> forward = forward_;
    const QString filter = FilterEdit->text();
    if (!Open(shown, error)) {
        return false;
    }
    for (int& l : back) {
        l = MapLine(before, document_, l);
    }
    for (int& l : forward) {
        l = MapLine(before, document_, l);
    }
    back_ = std::move(back);
    forward_ = std::move(forward);
    UpdateHistoryActions();
    FilterEdit->setText(filter);
    ShowDocument(MapLine(before, document_, first), MapLine(before, document_, cursor));
    Status(tr("Made again from %1 and written to %2.")
               .arg(QFileInfo(input_).fileName(), QFileInfo(shown).fileName()));
    return true;
}

void TListingWindow::OpenFromDisk() {
    const QString directory = path_.isEmpty() ? QString() : QFileInfo(path_).absolutePath();
    const QString chosen = prompts_.askOpenFile(this, directory);
    if (chosen.isEmpty()) {
        return;
    }
    QString error;
    if (!Open(chosen, &error)) {
        ShowError(error);
    }
}

void TListingWindow::ShowDocument(int firstLine, int cursorLine) {
    View->ShowDocument(&document_, firstLine, cursorLine);
    labels_->SetDocument(&document_);
    FillVariables();
    FillBookmarks();
    shownRefs_ = -2;  // nothing shown: the list is cleared
    ShowReferences(-1);
    // the list follows the cursor's label
    CursorMoved();
    UpdateHistoryActions();
}

int TListingWindow::CurrentLine() const {
    return View->CurrentLine();
}

void TListingWindow::JumpToLine(int line) {
    if (line < 0 || static_cast<std::size_t>(line) >= document_.LineCount()) {
        return;
    }
    const int from = CurrentLine();
    if (from != line) {
        back_.push_back(from);
        forward_.clear();
    }
    View->ShowLine(line);
    View->setFocus();
    UpdateHistoryActions();
}

void TListingWindow::Back() {
    if (back_.empty()) {
        return;
    }
    forward_.push_back(CurrentLine());
    const int line = back_.back();
    back_.pop_back();
    View->ShowLine(line);
    UpdateHistoryActions();
}

void TListingWindow::Forward() {
    if (forward_.empty()) {
        return;
    }
    back_.push_back(CurrentLine());
    const int line = forward_.back();
    forward_.pop_back();
    View->ShowLine(line);
    UpdateHistoryActions();
}

void TListingWindow::UpdateHistoryActions() {
    BackAction->setEnabled(!back_.empty());
    ForwardAction->setEnabled(!forward_.empty());
    HistoryList->clear();
    const int backs = static_cast<int>(back_.size());
    for (int i = 0; i < backs; ++i) {
        auto* item = new QListWidgetItem(PlaceText(back_[static_cast<std::size_t>(i)]));
        item->setData(Qt::UserRole, i - backs);
        HistoryList->addItem(item);
    }
    auto* here = new QListWidgetItem(PlaceText(CurrentLine()) + tr("   (here)"));
    QFont bold = here->font();
    bold.setBold(true);
    here->setFont(bold);
    here->setData(Qt::UserRole, 0);
    HistoryList->addItem(here);
    const int forwards = static_cast<int>(forward_.size());
    for (int i = forwards - 1; i >= 0; --i) {
        auto* item = new QListWidgetItem(PlaceText(forward_[static_cast<std::size_t>(i)]));
        item->setData(Qt::UserRole, forwards - i);
        HistoryList->addItem(item);
    }
}

QString TListingWindow::PlaceText(int line) const {
    if (line < 0 || static_cast<std::size_t>(line) >= document_.LineCount()) {
        return {};
    }
    int address = document_.AddressOf(static_cast<std::size_t>(line));
    const int label = document_.LabelBefore(static_cast<std::size_t>(line));
    if (address < 0 && label >= 0 &&
        document_.Labels()[static_cast<std::size_t>(label)].line ==
            static_cast<std::size_t>(line)) {
        address = document_.Labels()[static_cast<std::size_t>(label)].address;
    }
    QString text =
        address >= 0 ? Hex4(static_cast<unsigned>(address)) : tr("line %1").arg(line + 1);
    if (label >= 0) {
        text += QStringLiteral("  ") +
                FromBytes(document_.Labels()[static_cast<std::size_t>(label)].name);
    }
    return text;
}

bool TListingWindow::GoTo(const QString& addressOrName) {
    const QString text = addressOrName.trimmed();
    if (text.isEmpty()) {
        return false;
    }
    int label = document_.FindLabel(text.toStdString());
    if (label < 0) {
        for (std::size_t i = 0; i < document_.Labels().size(); ++i) {
            if (FromBytes(document_.Labels()[i].name).compare(text, Qt::CaseInsensitive) == 0) {
                label = static_cast<int>(i);
                break;
            }
        }
    }
    if (label >= 0) {
        JumpToLine(static_cast<int>(document_.Labels()[static_cast<std::size_t>(label)].line));
        return true;
    }
    QString digits = text;
    if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        digits.remove(0, 2);
    } else if (digits.startsWith('$')) {
        digits.remove(0, 1);
    } else if (digits.endsWith('h', Qt::CaseInsensitive)) {
        digits.chop(1);
    }
    bool ok = false;
    const unsigned address = digits.size() <= 6 ? digits.toUInt(&ok, 16) : 0;
    if (!ok) {
        Status(tr("\"%1\" is neither an address nor a label.").arg(text));
        return false;
    }
    int line = document_.LineOfAddress(address);
    if (line < 0) {
        line = document_.LineOfAddress(address, true);
        if (line < 0) {
            Status(tr("No word at %1 or after it.").arg(Hex4(address)));
            return false;
        }
        Status(tr("No word at %1; the next one is at %2.")
                   .arg(Hex4(address),
                        Hex4(static_cast<unsigned>(document_.AddressOf(line) >= 0
                                                       ? document_.AddressOf(line)
                                                       : document_.AddressOf(line + 1)))));
    }
    JumpToLine(line);
    return true;
}

bool TListingWindow::Find(const QString& text, bool backward) {
    if (text.isEmpty()) {
        FindEdit->setFocus();
        return false;
    }
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (View->find(text, flags)) {
        Status(QString());
        return true;
    }
    const QTextCursor before = View->textCursor();
    QTextCursor wrap = before;
    wrap.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    View->setTextCursor(wrap);
    if (View->find(text, flags)) {
        Status(backward ? tr("Continued from the end.") : tr("Continued from the top."));
        return true;
    }
    View->setTextCursor(before);
    Status(tr("\"%1\" is not in the listing.").arg(text));
    return false;
}

void TListingWindow::SelectLabel(int label) {
    const QModelIndex source = labels_->index(label, 0);
    QModelIndex shown = filter_->mapFromSource(source);
    if (!shown.isValid()) {
        FilterEdit->clear();
        shown = filter_->mapFromSource(source);
    }
    LabelList->setCurrentIndex(shown);
    LabelList->scrollTo(shown);
    ShowReferences(label);
}

int TListingWindow::SelectedLabel() const {
    const QModelIndex current = LabelList->currentIndex();
    return current.isValid() ? current.data(kLabelRole).toInt() : -1;
}

void TListingWindow::ShowReferences(int label) {
    if (label == shownRefs_) {
        return;
    }
    shownRefs_ = label;
    RefList->clear();
    if (label < 0 || static_cast<std::size_t>(label) >= document_.Labels().size()) {
        RefTitle->setText(tr("Select a label to see where it is used."));
        return;
    }
    const Label& shown = document_.Labels()[static_cast<std::size_t>(label)];
    int calls = 0;
    int jumps = 0;
    QList<QTreeWidgetItem*> items;
    for (const auto& ref : shown.refs) {
        calls += ref.kind == RefKind::Call ? 1 : 0;
        jumps += ref.kind == RefKind::Jump ? 1 : 0;
        const int line = document_.LineOfWord(ref.from);
        QString instruction;
        if (line >= 0) {
            const std::string_view text = document_.Line(static_cast<std::size_t>(line));
            instruction = FromBytes(text.substr(0, text.find(';'))).simplified();
        }
        auto* item = new QTreeWidgetItem({Hex4(ref.from), KindText(ref.kind), instruction});
        item->setData(0, Qt::UserRole, line);
        if (line < 0) {
            item->setToolTip(0, tr("This address is not in the listing."));
        }
        items.append(item);
    }
    RefList->addTopLevelItems(items);
    const QString name = FromBytes(shown.name);
    if (shown.refs.empty()) {
        RefTitle->setText(tr("Nothing calls or jumps to %1.").arg(name));
    } else {
        auto places = [](int count) {
            return count == 1 ? tr("1 place") : tr("%1 places").arg(count);
        };
        QStringList parts;
        if (calls > 0) {
            parts << tr("called from %1").arg(places(calls));
        }
        if (jumps > 0) {
            parts << tr("jumped to from %1").arg(places(jumps));
        }
        const int others = static_cast<int>(shown.refs.size()) - calls - jumps;
        if (others > 0) {
            parts << tr("used in %1 more").arg(places(others));
        }
        RefTitle->setText(QStringLiteral("<b>%1</b>: %2")
                              .arg(name.toHtmlEscaped(), parts.join(QStringLiteral(", "))));
    }
}

void TListingWindow::CursorMoved() {
    const int line = CurrentLine();
    const int address = document_.AddressOf(static_cast<std::size_t>(line));
    const int label = document_.LabelBefore(static_cast<std::size_t>(line));
    const int defined = label >= 0 && document_.Labels()[static_cast<std::size_t>(label)].line ==
                                          static_cast<std::size_t>(line)
                            ? document_.Labels()[static_cast<std::size_t>(label)].address
                            : -1;
    QString text = address >= 0   ? tr("Address %1").arg(Hex4(static_cast<unsigned>(address)))
                   : defined >= 0 ? tr("Address %1").arg(Hex4(static_cast<unsigned>(defined)))
                                  : tr("Line %1").arg(line + 1);
    if (label >= 0) {
        const Label& in = document_.Labels()[static_cast<std::size_t>(label)];
        text += tr("   in %1").arg(FromBytes(in.name));
        // follow the cursor in the side list, unless the filter hides the label
        const QModelIndex shown = filter_->mapFromSource(labels_->index(label, 0));
        if (shown.isValid() && shown != LabelList->currentIndex()) {
            LabelList->setCurrentIndex(shown);
            LabelList->scrollTo(shown);
        }
    }
    AddressLabel->setText(text);
}

bool TListingWindow::Rename(int line, std::size_t column, const QString& name, QString* error) {
    std::string why;
    const auto target = document_.RenameTargetAt(static_cast<std::size_t>(line), column, &why);
    if (!target) {
        if (error != nullptr) {
            *error = FromBytes(why);
        }
        return false;
    }
    return RenameTo(*target, line, name, error);
}

bool TListingWindow::RenameLocation(unsigned address, const QString& name, QString* error) {
    const std::string now = document_.NameOfLocation(address);
    const tolvek::browse::RenameTarget target{RenameTarget::Kind::Ram, address, now};
    QString why;
    // a register's name is the chip's; a location's, the user's or the source's own
    if (!now.empty() && !document_.IsUserLocation(now) && document_.GeneratedName(target) != now) {
        why = tr("%1 is the chip's own name; only labels and data memory locations can be renamed.")
                  .arg(FromBytes(now));
    } else if (studied_ && std::none_of(accesses_.begin(), accesses_.end(),
                                        [address](const tolvek::DataAccess& a) {
                                            return a.address == address && a.certain;
                                        })) {
        why = tr("The flow cannot tell the bank of any use of 0x%1, so the next run would not use "
                 "a name for it.")
                  .arg(address, 3, 16, QLatin1Char('0'));
    }
    if (!why.isEmpty()) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    }
    return RenameTo(target, -1, name, error);
}

bool TListingWindow::RenameTo(const tolvek::browse::RenameTarget& chosen, int line,
                              const QString& name, QString* error) {
    auto fail = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    const std::optional<tolvek::browse::RenameTarget> target = chosen;
    std::string why;
    const std::string newName = name.trimmed().toStdString();
    why = document_.CheckName(*target, newName);
    if (!why.empty()) {
        return fail(FromBytes(why));
    }
    if (newName == target->name) {
        return true;
    }
    const bool generated = newName == document_.GeneratedName(*target);
    if (!generated) {
        // the rules of the next run, for the part where it is known
        const std::string fault = maker_ != nullptr ? maker_->NameFault(part_, newName)
                                                    : tolvek::UserNameFault(newName, nullptr);
        if (!fault.empty()) {
            return fail(FromBytes(fault) + QLatin1Char('.'));
        }
    }
    if (const QString bank = BankFault(*target, line); !bank.isEmpty()) {
        return fail(bank);
    }
    // Saved first: a rename the next run would not see is not made at all.
    QString symbolPath = SymbolPath();
    bool confirmed = false;  // the user let a file Tolvek did not write go
    QByteArray old;
    for (;;) {
        old.clear();
        QFile existing(symbolPath);
        if (!existing.exists()) {
            break;
        }
        if (!QFileInfo(existing).isFile()) {
            return fail(tr("\"%1\" is not a file.").arg(QDir::toNativeSeparators(symbolPath)));
        }
        if (!existing.open(QIODevice::ReadOnly)) {
            return fail(tr("Cannot read \"%1\": %2")
                            .arg(QDir::toNativeSeparators(symbolPath), existing.errorString()));
        }
        old = existing.readAll();
        if (tolvek::HasSymbolFileHeader(old.toStdString())) {
            break;
        }
        if (confirmed) {
            old.clear();
            break;
        }
        const TReplaceAnswer answer = prompts_.askReplace(this, symbolPath);
        if (answer == TReplaceAnswer::kReplace) {
            confirmed = true;
            continue;
        }
        const QString chosen =
            answer == TReplaceAnswer::kSaveAs ? prompts_.askSaveFile(this, symbolPath) : QString();
        if (chosen.isEmpty()) {
            return fail(QString());  // cancelled: nothing renamed, nothing to report
        }
        // the save dialog asks itself before the user picks an existing file
        symbolPath = chosen;
        confirmed = true;
    }
    const auto kind =
        target->kind == RenameTarget::Kind::Label ? SymbolKind::Label : SymbolKind::Ram;
    const std::string updated = tolvek::UpdateSymbolFile(
        old.toStdString(), kind, target->address,
        generated ? std::nullopt : std::optional<std::string_view>(newName));
    std::string studied;
    if (studied_) {
        // the run itself tries the new symbol file before it replaces the old
        QTemporaryFile trial;
        QString why;
        if (!trial.open() ||
            trial.write(updated.data(), static_cast<qint64>(updated.size())) !=
                static_cast<qint64>(updated.size()) ||
            !trial.flush()) {
            return fail(tr("Cannot write a temporary file: %1").arg(trial.errorString()));
        }
        if (!Study(&studied, &why, trial.fileName())) {
            return fail(tr("The next run would refuse this name: %1").arg(why));
        }
    }
    QSaveFile file(symbolPath);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(updated.data(), static_cast<qint64>(updated.size())) !=
            static_cast<qint64>(updated.size()) ||
        !file.commit()) {
        return fail(tr("Cannot write \"%1\": %2")
                        .arg(QDir::toNativeSeparators(symbolPath), file.errorString()));
    }
    if (symbolPath != SymbolPath()) {
        symbolPath_ = symbolPath;  // the next renames go there too
    }
    if (studied_) {
        ShowStudied(std::move(studied));
        Status(tr("Renamed to %1 and saved in %2.")
                   .arg(FromBytes(newName), QFileInfo(symbolPath).fileName()));
        return true;
    }
    tolvek::browse::Renames renames;
    if (target->name.empty()) {
        renames.locations.emplace(target->address, newName);
    } else {
        renames.names.emplace(target->name, newName);
    }
    Document::Insertions insertions;
    const int first = View->FirstVisibleLine();
    const int cursor = CurrentLine();
    Document renamed =
        Document::Parse(document_.Renamed(renames, &insertions), document_.GetFormat());
    renamed.SetUserLocations(UserLocations(updated));
    document_ = std::move(renamed);
    auto moved = [&insertions](int l) {
        return static_cast<int>(insertions.Moved(static_cast<std::size_t>(l)));
    };
    for (int& l : back_) {
        l = moved(l);
    }
    for (int& l : forward_) {
        l = moved(l);
    }
    ShowDocument(moved(first), moved(cursor));
    Status(tr("Renamed to %1 and saved in %2.")
               .arg(FromBytes(newName), QFileInfo(symbolPath).fileName()));
    return true;
}

void TListingWindow::RenameSelectedVariable() {
    const QTreeWidgetItem* item = VariableList->currentItem();
    if (item == nullptr) {
        return;
    }
    const unsigned address = item->data(0, Qt::UserRole).toUInt();
    const auto answer = prompts_.askText(
        this, tr("Name Data Memory Location"),
        tr("Name for data memory location 0x%1:").arg(address, 3, 16, QLatin1Char('0')),
        FromBytes(document_.NameOfLocation(address)));
    QString error;
    if (answer && !RenameLocation(address, *answer, &error)) {
        ShowError(error);
    }
}

void TListingWindow::RenameAtCursor() {
    if (VariableList->hasFocus()) {
        RenameSelectedVariable();
        return;
    }
    const QTextCursor cursor = View->textCursor();
    const int line = cursor.blockNumber();
    const std::size_t column = View->ByteColumn(cursor);
    std::string why;
    const auto target = document_.RenameTargetAt(static_cast<std::size_t>(line), column, &why);
    if (!target) {
        Status(FromBytes(why));
        return;
    }
    if (const QString bank = BankFault(*target, line); !bank.isEmpty()) {
        ShowError(bank);
        return;
    }
    const bool label = target->kind == RenameTarget::Kind::Label;
    const QString title = label ? tr("Rename Label") : tr("Name Data Memory Location");
    const QString prompt = label ? tr("New name for the label at %1:").arg(Hex4(target->address))
                                 : tr("Name for data memory location 0x%1:")
                                       .arg(target->address, 3, 16, QLatin1Char('0'));
    const auto answer = prompts_.askText(this, title, prompt, FromBytes(target->name));
    if (!answer) {
        return;
    }
    QString error;
    if (!Rename(line, column, *answer, &error) && !error.isEmpty()) {
        ShowError(error);
    }
}

QString ListingKeyMap() {
    static const char* const kKeys[][2] = {
        {"Click, Enter, Ctrl+click", "follow the label, jump target or address under the cursor"},
        {"Alt+Left, Esc", "back to where the last jump started"},
        {"Alt+Right", "forward again"},
        {"n, F2", "rename the label or data memory location at the cursor"},
        {"x",
         "data references: where the register or location at the cursor is read (R), "
         "written (W) or has a bit tested or set (B)"},
        {"g, Ctrl+G", "go to an address or a label"},
        {";",
         "comment the word of the line (saved in the symbol file, written into the next "
         "source; an empty text removes it)"},
        {"Ctrl+B",
         "bookmark the word of the line; the Bookmarks tab lists them (Delete removes "
         "one)"},
        {"Ctrl+F, F3, Shift+F3", "find, find the next, find the previous"},
        {"Ctrl+R", "run again: make the source again from its image with the names given"},
        {"Ctrl+Shift+S", "save the source as a run makes it now"},
        {"Ctrl+O", "open a listing or source"},
    };
    QString rows;
    for (const auto& key : kKeys) {
        rows += QStringLiteral("<tr><td><b>%1</b>&nbsp;&nbsp;</td><td>%2</td></tr>")
                    .arg(QString::fromUtf8(key[0]).toHtmlEscaped(),
                         QString::fromUtf8(key[1]).toHtmlEscaped());
    }
    return QObject::tr(
               "<h3>Keys of the listing window</h3>"
               "<p>In the text of the listing window (not in its fields):</p>") +
           QStringLiteral("<table>%1</table>").arg(rows);
}

QInputDialog* TListingWindow::NewTextDialog(QWidget* parent, const QString& title,
                                            const QString& label, const QString& text) {
    auto* dialog = new QInputDialog(parent);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setTextValue(text);
    dialog->setInputMode(QInputDialog::TextInput);
    // A title bar's font is often larger and bolder than the dialog's, and
    // it shares the bar with the window buttons: room for both.
    QFont titleFont = dialog->font();
    titleFont.setBold(true);
    if (titleFont.pointSizeF() > 0) {
        titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    } else {
        titleFont.setPixelSize(titleFont.pixelSize() * 6 / 5);
    }
    const int needed =
        QFontMetrics(titleFont).horizontalAdvance(title) + 8 * QFontMetrics(titleFont).height();
    // the dialog fits itself to its field: the field takes the width
    if (auto* field = dialog->findChild<QLineEdit*>()) {
        field->setMinimumWidth(needed);
    }
    return dialog;
}

bool TListingWindow::Study(std::string* text, QString* why, const QString& symbols) {
    if (maker_ == nullptr || input_.isEmpty() || part_.empty()) {
        if (why != nullptr) {
            *why = tr("the image or the part of the source is not known");
        }
        return false;
    }
    TSourceRequest request;
    request.input = PathBytes(input_);
    request.split = split_;
    request.part = part_;
    const QString named = !symbols.isEmpty() ? symbols : OwnSymbolPath();
    request.symbols = named.isEmpty() ? std::string() : PathBytes(named);
    TSourceStudy study = maker_->Study(request);
    if (!study.made) {
        if (why != nullptr) {
            *why = FromBytes(study.status);
        }
        return false;
    }
    *text = std::move(study.text);
    accesses_ = std::move(study.accesses);
    bankSize_ = std::max(study.bankSize, 1u);
    byLocation_.resize(accesses_.size());
    for (std::size_t i = 0; i < accesses_.size(); ++i) {
        byLocation_[i] = i;
    }
    std::sort(byLocation_.begin(), byLocation_.end(), [this](std::size_t a, std::size_t b) {
        return std::pair(accesses_[a].address, accesses_[a].word) <
               std::pair(accesses_[b].address, accesses_[b].word);
    });
    return true;
}

void TListingWindow::FillVariables() {
    VariableList->setSortingEnabled(false);
    VariableList->clear();
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < byLocation_.size();) {
        const unsigned address = accesses_[byLocation_[i]].address;
        int counts[4] = {0, 0, 0, 0};  // reads, writes, bits, may be
        for (; i < byLocation_.size() && accesses_[byLocation_[i]].address == address; ++i) {
            const tolvek::DataAccess& a = accesses_[byLocation_[i]];
            ++counts[!a.certain ? 3 : static_cast<int>(a.kind)];
        }
        auto* item = new QTreeWidgetItem;
        item->setText(0, QStringLiteral("0x%1").arg(address, 3, 16, QLatin1Char('0')));
        item->setData(0, Qt::UserRole, address);
        item->setText(1, FromBytes(document_.NameOfLocation(address)));
        item->setData(2, Qt::DisplayRole, address / bankSize_);
        for (int c = 0; c < 4; ++c) {
            item->setData(3 + c, Qt::DisplayRole, counts[c]);
        }
        items.append(item);
    }
    VariableList->addTopLevelItems(items);
    VariableList->setSortingEnabled(true);
}

bool TListingWindow::ShowDataReferences(int line, std::size_t column) {
    if (line < 0 || static_cast<std::size_t>(line) >= document_.LineCount()) {
        return false;
    }
    const std::string_view word = document_.WordAt(static_cast<std::size_t>(line), column);
    long location = word.empty() ? -1 : document_.LocationOf(word);
    QString name = FromBytes(word);
    if (location < 0) {
        // a register operand written as a number: where the flow puts it
        const auto target =
            document_.RenameTargetAt(static_cast<std::size_t>(line), column, nullptr);
        if (target && target->kind == RenameTarget::Kind::Ram) {
            location = target->address;
            const int at = document_.AddressOf(static_cast<std::size_t>(line));
            const auto [begin, end] =
                std::equal_range(accesses_.begin(), accesses_.end(),
                                 tolvek::DataAccess{static_cast<unsigned>(std::max(at, 0))},
                                 [](const tolvek::DataAccess& a, const tolvek::DataAccess& b) {
                                     return a.word < b.word;
                                 });
            if (at >= 0 && end - begin == 1) {
                location = begin->address;
            }
        }
    }
    if (location < 0) {
        Status(
            tr("Put the cursor on a register or a data memory location to see where it is "
               "used."));
        return false;
    }
    if (!studied_) {
        Status(
            tr("Data references need the source's image beside it and the part's data: open "
               "a source made by a run."));
        return false;
    }
    ShowLocationReferences(static_cast<unsigned>(location), name);
    return true;
}

void TListingWindow::ShowLocationReferences(unsigned location, const QString& name) {
    shownRefs_ = -3;  // not a label's
    RefList->clear();
    const auto begin = std::partition_point(
        byLocation_.begin(), byLocation_.end(),
        [this, location](std::size_t i) { return accesses_[i].address < location; });
    const auto end = std::partition_point(
        begin, byLocation_.end(),
        [this, location](std::size_t i) { return accesses_[i].address == location; });
    static const char* const kHow[] = {"R", "W", "B"};
    int counts[4] = {0, 0, 0, 0};
    QList<QTreeWidgetItem*> certain;
    QList<QTreeWidgetItem*> maybe;
    for (auto it = begin; it != end; ++it) {
        const tolvek::DataAccess& a = accesses_[*it];
        ++counts[!a.certain ? 3 : static_cast<int>(a.kind)];
        const int line = document_.LineOfWord(a.word);
        QString instruction;
        if (line >= 0) {
            const std::string_view text = document_.Line(static_cast<std::size_t>(line));
            instruction = FromBytes(text.substr(0, text.find(';'))).simplified();
        }
        auto* item = new QTreeWidgetItem(
            {Hex4(a.word), QString::fromLatin1(kHow[static_cast<int>(a.kind)]), instruction});
        item->setData(0, Qt::UserRole, line);
        (a.certain ? certain : maybe).append(item);
    }
    RefList->addTopLevelItems(certain);
    if (!maybe.isEmpty()) {
        auto* heading = new QTreeWidgetItem({tr("May be"), QString(), tr("the bank is not known")});
        heading->setFlags(Qt::ItemIsEnabled);
        heading->setData(0, Qt::UserRole, -1);
        QFont bold = heading->font(0);
        bold.setBold(true);
        heading->setFont(0, bold);
        RefList->addTopLevelItem(heading);
        RefList->addTopLevelItems(maybe);
    }
    const QString where = QStringLiteral("0x%1").arg(location, 3, 16, QLatin1Char('0'));
    QStringList parts;
    const char* const kWhat[] = {"read", "written", "bits"};
    for (int k = 0; k < 3; ++k) {
        if (counts[k] > 0) {
            parts << tr("%1 %2").arg(QString::fromLatin1(kWhat[k])).arg(counts[k]);
        }
    }
    if (counts[3] > 0) {
        parts << tr("may be at %1 more").arg(counts[3]);
    }
    RefTitle->setText(
        QStringLiteral("<b>%1</b> (%2): %3")
            .arg(name.toHtmlEscaped(), where,
                 parts.isEmpty() ? tr("not used") : parts.join(QStringLiteral(", "))));
}

void TListingWindow::DataReferencesAtCursor() {
    const QTextCursor cursor = View->textCursor();
    if (!ShowDataReferences(cursor.blockNumber(), View->ByteColumn(cursor))) {
        return;
    }
    RefPopup->clear();
    for (int i = 0; i < RefList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = RefList->topLevelItem(i);
        const int line = item->data(0, Qt::UserRole).toInt();
        QAction* action = RefPopup->addAction(
            QStringLiteral("%1  %2  %3").arg(item->text(0), item->text(1), item->text(2)));
        if (line < 0) {
            action->setEnabled(false);
            continue;
        }
        connect(action, &QAction::triggered, this, [this, line] {
            holdRefs_ = true;
            JumpToLine(line);
            holdRefs_ = false;
        });
    }
    if (RefPopup->isEmpty()) {
        RefPopup->addAction(tr("Not used"))->setEnabled(false);
    }
    RefPopup->popup(View->viewport()->mapToGlobal(View->cursorRect().bottomLeft()));
}

void TListingWindow::ShowStudied(std::string text) {
    Document made = Document::Parse(std::move(text), tolvek::browse::Format::Source);
    QFile symbols(SymbolPath());
    made.SetUserLocations(QFileInfo(symbols).isFile() && symbols.open(QIODevice::ReadOnly)
                              ? UserLocations(symbols.readAll().toStdString())
                              : std::unordered_map<std::string, unsigned>());
    const int first = MapLine(document_, made, View->FirstVisibleLine());
    const int cursor = MapLine(document_, made, CurrentLine());
    for (std::vector<int>* lines : {&back_, &forward_}) {
        for (int& l : *lines) {
            l = MapLine(document_, made, l);
        }
    }
    document_ = std::move(made);
    ShowDocument(first, cursor);
}

QString TListingWindow::BankFault(const RenameTarget& target, int line) const {
    if (target.kind != RenameTarget::Kind::Ram || !target.name.empty() || line < 0) {
        return {};  // a name stands only where the run knows the location
    }
    const int word = document_.AddressOf(static_cast<std::size_t>(line));
    QStringList places;
    if (studied_ && word >= 0) {
        const auto [begin, end] = std::equal_range(
            accesses_.begin(), accesses_.end(), tolvek::DataAccess{static_cast<unsigned>(word)},
            [](const tolvek::DataAccess& a, const tolvek::DataAccess& b) {
                return a.word < b.word;
            });
        for (auto it = begin; it != end; ++it) {
            places << QStringLiteral("0x") +
                          QStringLiteral("%1").arg(it->address, 3, 16, QLatin1Char('0')).toUpper();
        }
        if (places.size() <= 1) {
            return {};
        }
    } else if (document_.GetFormat() != tolvek::browse::Format::Source ||
               document_.Line(static_cast<std::size_t>(line)).find("bank unknown") ==
                   std::string_view::npos) {
        return {};
    }
    const QString where = word >= 0 ? Hex4(static_cast<unsigned>(word)) : tr("this word");
    return places.isEmpty()
               ? tr("The bank at %1 is not known, so the next run keeps the number there. Name "
                    "the location where its bank is known.")
                     .arg(where)
               : tr("The bank at %1 is not known: the operand may be %2, so the next run keeps "
                    "the number there. Name the location where its bank is known.")
                     .arg(where, places.join(QStringLiteral(", ")));
}

void TListingWindow::Status(const QString& text) {
    statusBar()->showMessage(text, text.isEmpty() ? 0 : 8000);
}

void TListingWindow::ShowError(const QString& text) {
    prompts_.showError(this, tr("Tolvek"), text);
}
