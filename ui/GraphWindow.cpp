#include "ui/GraphWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "ui/GraphView.h"
#include "ui/ListingView.h"
#include "ui/ListingWindow.h"

using tolvek::browse::Document;

TGraphWindow::TGraphWindow(TListingWindow* listing)
    : QMainWindow(listing, Qt::Window), listing_(listing) {
    setObjectName(QStringLiteral("graphWindow"));
    View = new TGraphView(this);
    setCentralWidget(View);

    FunctionAction = new QAction(tr("Function"), this);
    FunctionAction->setToolTip(tr("The function at the listing's cursor as a graph (Space)"));
    CallsAction = new QAction(tr("Call Graph"), this);
    CallsAction->setToolTip(tr("Who calls whom in the whole program (Ctrl+F12)"));
    auto* views = new QActionGroup(this);
    for (QAction* action : {FunctionAction, CallsAction}) {
        action->setCheckable(true);
        views->addAction(action);
    }
    ZoomInAction = new QAction(tr("Zoom In"), this);
    ZoomInAction->setShortcuts(QKeySequence::ZoomIn);
    ZoomOutAction = new QAction(tr("Zoom Out"), this);
    ZoomOutAction->setShortcuts(QKeySequence::ZoomOut);
    ActualSizeAction = new QAction(tr("100%"), this);
    ActualSizeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    FitAction = new QAction(tr("Fit"), this);
    FitAction->setToolTip(tr("The whole picture in the window"));
    ExportAction = new QAction(tr("Export..."), this);
    ExportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    ExportAction->setToolTip(tr("Save the picture as SVG or PNG (Ctrl+E)"));
    auto* back = new QAction(tr("Listing"), this);
    back->setShortcuts({QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_Escape)});
    back->setToolTip(tr("Back to the listing (Space, Esc)"));
    for (QAction* action :
         {ZoomInAction, ZoomOutAction, ActualSizeAction, FitAction, ExportAction, back}) {
        addAction(action);
    }

    QToolBar* bar = addToolBar(tr("Graph"));
    bar->setObjectName(QStringLiteral("graph"));
    bar->setMovable(false);
    bar->addAction(back);
    bar->addSeparator();
    bar->addAction(FunctionAction);
    bar->addAction(CallsAction);
    bar->addSeparator();
    bar->addAction(ZoomOutAction);
    bar->addAction(ActualSizeAction);
    bar->addAction(ZoomInAction);
    bar->addAction(FitAction);
    bar->addSeparator();
    bar->addAction(ExportAction);

    Legend = new QLabel(this);
    Legend->setTextFormat(Qt::RichText);
    statusBar()->addPermanentWidget(Legend);
    UpdateLegend();

    askExportPath = [](QWidget* parent, const QString& suggested) {
        return QFileDialog::getSaveFileName(parent, tr("Export Graph"), suggested,
                                            tr("SVG picture (*.svg);;PNG image (*.png)"));
    };
    showError = [](QWidget* parent, const QString& text) {
        QMessageBox::critical(parent, tr("Export Graph"), text);
    };

    connect(FunctionAction, &QAction::triggered, this, [this] { ShowFunctionAtCursor(); });
    connect(CallsAction, &QAction::triggered, this, [this] { ShowCallGraph(); });
    connect(ZoomInAction, &QAction::triggered, View, [this] { View->ZoomBy(1.25); });
    connect(ZoomOutAction, &QAction::triggered, View, [this] { View->ZoomBy(1 / 1.25); });
    connect(ActualSizeAction, &QAction::triggered, View, [this] { View->SetZoom(1); });
    connect(FitAction, &QAction::triggered, View, &TGraphView::Fit);
    connect(ExportAction, &QAction::triggered, this, &TGraphWindow::ExportPicture);
    connect(back, &QAction::triggered, this, [this] {
        listing_->raise();
        listing_->activateWindow();
    });
    connect(View, &TGraphView::WordActivated, this, &TGraphWindow::Go);
    // A new text (a rename, another file) makes the picture anew.
    connect(listing_->View, &QPlainTextEdit::textChanged, this, [this] {
        flow_.reset();
        QTimer::singleShot(0, this, [this] {
            if (!isVisible()) {
                return;
            }
            if (View->ShowsCalls()) {
                ShowCallGraph();
            } else if (function_ >= 0) {
                QString error;
                if (!View->ShowFunction(listing_->Doc(),
                                        Flow().Function(static_cast<unsigned>(function_)),
                                        &error)) {
                    statusBar()->showMessage(error);
                }
            }
        });
    });
    // The block of the listing's cursor stays marked.
    connect(listing_->View, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (isVisible() && !View->ShowsCalls()) {
            const long word = CursorWord();
            View->Mark(word < 0 ? 0 : static_cast<unsigned>(word));
        }
    });
    resize(900, 720);
}

const tolvek::browse::ProgramFlow& TGraphWindow::Flow() {
    if (!flow_) {
        flow_.emplace(listing_->Doc());
    }
    return *flow_;
}

long TGraphWindow::CursorWord() const {
    const Document& document = listing_->Doc();
    const int line = listing_->CurrentLine();
    for (std::size_t l = static_cast<std::size_t>(std::max(line, 0)); l < document.LineCount();
         ++l) {
        if (const int address = document.AddressOf(l); address >= 0) {
            return address;
        }
    }
    for (int l = line; l >= 0; --l) {
        if (const int address = document.AddressOf(static_cast<std::size_t>(l)); address >= 0) {
            return address;
        }
    }
    return -1;
}

bool TGraphWindow::ShowFunctionAtCursor(QString* error) {
    return Show(false, error);
}

bool TGraphWindow::ShowCallGraph(QString* error) {
    return Show(true, error);
}

bool TGraphWindow::Show(bool calls, QString* error) {
    FunctionAction->setChecked(!calls);
    CallsAction->setChecked(calls);
    show();
    raise();
    activateWindow();
    QString why;
    const long word = CursorWord();
    bool shown = false;
    if (word < 0) {
        why = tr("The listing holds no instructions.");
    } else {
        const Document& document = listing_->Doc();
        const long entry = Flow().FunctionOf(static_cast<unsigned>(word));
        if (calls) {
            shown = View->ShowCalls(document, Flow().Calls(), &why);
            function_ = -1;
            setWindowTitle(tr("Call Graph - Tolvek"));
        } else {
            shown =
                View->ShowFunction(document, Flow().Function(static_cast<unsigned>(entry)), &why);
            function_ = entry;
            const int label = document.LabelAtAddress(static_cast<unsigned>(entry));
            const QString name =
                label >= 0 ? QString::fromStdString(
                                 document.Labels()[static_cast<std::size_t>(label)].name)
                           : QStringLiteral("%1").arg(entry, 4, 16, QLatin1Char('0')).toUpper();
            shownName_ = name;
            setWindowTitle(tr("Graph of %1 - Tolvek").arg(name));
        }
        if (shown) {
            View->SetZoom(1);
            View->Mark(static_cast<unsigned>(calls ? entry : word));
        }
    }
    UpdateLegend();
    if (!shown) {
        statusBar()->showMessage(why);
        if (error != nullptr) {
            *error = why;
        }
        return false;
    }
    statusBar()->clearMessage();
    return true;
}

void TGraphWindow::Go(unsigned address, bool label) {
    const Document& document = listing_->Doc();
    const int line = label ? document.LineOfAddress(address) : document.LineOfWord(address);
    if (line >= 0) {
        listing_->JumpToLine(line);
    }
}

void TGraphWindow::UpdateLegend() {
    Legend->setText(View->LegendHtml());
}

void TGraphWindow::ExportPicture() {
    if (View->NodeCount() == 0) {
        statusBar()->showMessage(tr("There is no graph to export."));
        return;
    }
    const QFileInfo listing(listing_->FilePath());
    const QString base = listing.path() + QLatin1Char('/') + listing.completeBaseName();
    const QString suggested = base + QLatin1Char('-') +
                              (View->ShowsCalls() ? QStringLiteral("calls") : shownName_) +
                              QStringLiteral(".svg");
    QString path = askExportPath(this, suggested);
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".svg");
    }
    QString error;
    if (!View->Export(path, &error)) {
        statusBar()->showMessage(error);
        showError(this, error);
        return;
    }
    statusBar()->showMessage(tr("Saved %1").arg(QFileInfo(path).fileName()));
}

void AddGraphViews(TListingWindow* listing, QToolBar* bar) {
    auto* function = new QAction(QObject::tr("Graph"), listing);
    function->setObjectName(QStringLiteral("functionGraph"));
    function->setShortcut(QKeySequence(Qt::Key_Space));
    function->setToolTip(QObject::tr("Show the function at the cursor as a graph (Space)"));
    auto* calls = new QAction(QObject::tr("Calls"), listing);
    calls->setObjectName(QStringLiteral("callGraph"));
    calls->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F12));
    calls->setToolTip(QObject::tr("Show who calls whom in the whole program (Ctrl+F12)"));
    auto window = [listing] {
        auto* graphs = listing->findChild<TGraphWindow*>(QString(), Qt::FindDirectChildrenOnly);
        return graphs != nullptr ? graphs : new TGraphWindow(listing);
    };
    QObject::connect(function, &QAction::triggered, listing,
                     [window] { window()->ShowFunctionAtCursor(); });
    QObject::connect(calls, &QAction::triggered, listing, [window] { window()->ShowCallGraph(); });
    for (QAction* action : {function, calls}) {
        action->setShortcutContext(Qt::WindowShortcut);
        listing->addAction(action);
        bar->addAction(action);
    }
}
