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
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "base/SymbolFile.h"
#include "ui/GraphWindow.h"
#include "ui/ListingView.h"

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

TListingPrompts DefaultPrompts() {
    TListingPrompts prompts;
    prompts.askText = [](QWidget* parent, const QString& title, const QString& label,
                         const QString& text) -> std::optional<QString> {
        bool ok = false;
        const QString answer =
            QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &ok);
        return ok ? std::optional<QString>(answer) : std::nullopt;
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
    column->addWidget(FilterEdit);
    column->addWidget(LabelList, 3);
    column->addWidget(RefTitle);
    column->addWidget(RefList, 2);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(side);
    splitter->addWidget(View);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 740});
    setCentralWidget(splitter);

    AddressLabel = new QLabel(this);
    AddressLabel->setMinimumWidth(320);
    statusBar()->addPermanentWidget(AddressLabel);

    connect(FilterEdit, &QLineEdit::textChanged, filter_,
            &QSortFilterProxyModel::setFilterFixedString);
    connect(LabelList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                ShowReferences(current.isValid() ? current.data(kLabelRole).toInt() : -1);
            });
    auto jumpToLabel = [this](const QModelIndex& index) {
        const int label = index.data(kLabelRole).toInt();
        JumpToLine(static_cast<int>(document_.Labels()[static_cast<std::size_t>(label)].line));
    };
    connect(LabelList, &QTreeView::clicked, this, jumpToLabel);
    connect(LabelList, &QTreeView::activated, this, jumpToLabel);
    connect(RefList, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { JumpToLine(item->data(0, Qt::UserRole).toInt()); });
    connect(RefList, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { JumpToLine(item->data(0, Qt::UserRole).toInt()); });
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
    OpenAction = new QAction(look->standardIcon(QStyle::SP_DialogOpenButton), tr("Open..."), this);
    OpenAction->setShortcut(QKeySequence::Open);
    OpenAction->setToolTip(tr("Open a listing (.dis) or source (.asm)"));
    auto* closeAction = new QAction(tr("Close"), this);
    closeAction->setShortcut(QKeySequence::Close);
    for (QAction* action : {BackAction, ForwardAction, GoToAction, FindAction, FindNextAction,
                            FindPreviousAction, RenameAction, OpenAction, closeAction}) {
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
    connect(OpenAction, &QAction::triggered, this, &TListingWindow::OpenFromDisk);
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

    // The names the user gave before: a classic listing knows nothing of them,
    // and a source written before the last rename does not have them yet.
    path_ = path;
    symbolPath_.clear();
    QString note;
    std::unordered_map<std::string, unsigned> locations;
    QFile symbols(SymbolPath());
    if (QFileInfo(symbols).isFile() && symbols.open(QIODevice::ReadOnly)) {
        const auto parsed = tolvek::ReadSymbolFile(symbols.readAll().toStdString());
        if (!parsed.header) {
            note = tr("%1 was not written by Tolvek (its first line is not \"%2\"); left alone.")
                       .arg(QFileInfo(symbols).fileName(), FromBytes(tolvek::kSymbolFileHeader));
        } else if (!parsed.faults.empty()) {
            note = tr("%1, line %2: %3")
                       .arg(QFileInfo(symbols).fileName())
                       .arg(parsed.faults.front().line)
                       .arg(FromBytes(parsed.faults.front().text));
        }
        tolvek::browse::Renames renames;
        std::set<std::string> given;
        for (const SymbolEntry& entry :
             parsed.header ? parsed.entries : std::vector<SymbolEntry>()) {
            if (entry.kind == SymbolKind::Ram) {
                locations.emplace(entry.text, entry.address);
                if (given.insert(entry.text).second) {
                    renames.locations.emplace(entry.address, entry.text);
                }
                continue;
            }
            if (entry.kind != SymbolKind::Label) {
                continue;
            }
            const int label = document.LabelAtAddress(entry.address);
            if (label < 0) {
                continue;
            }
            const Label& old = document.Labels()[static_cast<std::size_t>(label)];
            const RenameTarget target{RenameTarget::Kind::Label, entry.address, old.name};
            if (old.name != entry.text && document.CheckName(target, entry.text).empty() &&
                given.insert(entry.text).second) {
                renames.names.emplace(old.name, entry.text);
            }
        }
        if (!renames.names.empty() || !renames.locations.empty()) {
            document = Document::Parse(document.Renamed(renames), format);
        }
    }
    document.SetUserLocations(std::move(locations));
    document_ = std::move(document);
    back_.clear();
    forward_.clear();
    ShowDocument(0, 0);
    setWindowTitle(tr("%1 - Tolvek").arg(QFileInfo(path).fileName()));
    setWindowFilePath(path);
    Status(note.isEmpty()
               ? tr("%1 lines, %2 labels").arg(document_.LineCount()).arg(document_.Labels().size())
               : note);
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
    shownRefs_ = -1;
    ShowReferences(-1);
    // the list follows the cursor's label
    CursorMoved();
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
    auto fail = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    std::string why;
    const auto target = document_.RenameTargetAt(static_cast<std::size_t>(line), column, &why);
    if (!target) {
        return fail(FromBytes(why));
    }
    const std::string newName = name.trimmed().toStdString();
    why = document_.CheckName(*target, newName);
    if (!why.empty()) {
        return fail(FromBytes(why));
    }
    if (newName == target->name) {
        return true;
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
    const bool generated = newName == document_.GeneratedName(*target);
    const auto kind =
        target->kind == RenameTarget::Kind::Label ? SymbolKind::Label : SymbolKind::Ram;
    const std::string updated = tolvek::UpdateSymbolFile(
        old.toStdString(), kind, target->address,
        generated ? std::nullopt : std::optional<std::string_view>(newName));
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
    auto locations = std::unordered_map<std::string, unsigned>();
    for (const auto& entry : tolvek::ReadSymbolFile(updated).entries) {
        if (entry.kind == SymbolKind::Ram) {
            locations.emplace(entry.text, entry.address);
        }
    }
    renamed.SetUserLocations(std::move(locations));
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

void TListingWindow::RenameAtCursor() {
    const QTextCursor cursor = View->textCursor();
    const int line = cursor.blockNumber();
    const std::size_t column = View->ByteColumn(cursor);
    std::string why;
    const auto target = document_.RenameTargetAt(static_cast<std::size_t>(line), column, &why);
    if (!target) {
        Status(FromBytes(why));
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

void TListingWindow::Status(const QString& text) {
    statusBar()->showMessage(text, text.isEmpty() ? 0 : 8000);
}

void TListingWindow::ShowError(const QString& text) {
    prompts_.showError(this, tr("Tolvek"), text);
}
