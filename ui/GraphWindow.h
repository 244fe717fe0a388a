// The graph views of a listing window: the function at the listing's cursor as
// a graph of its basic blocks, or the call graph of the whole program. A click
// on a box goes there in the listing; the picture exports as SVG or PNG.
#pragma once

#include <QMainWindow>
#include <functional>
#include <optional>

#include "browse/Graph.h"

class QAction;
class QLabel;
class QToolBar;
class TGraphView;
class TListingWindow;

class TGraphWindow : public QMainWindow {
    Q_OBJECT
  public:
    // A window of its own that belongs to the listing window.
    explicit TGraphWindow(TListingWindow* listing);

    // The graph of the function the listing's cursor is in, or the call graph
    // with that function marked; shown and raised. False with the reason in
    // *error (also shown in the status bar).
    bool ShowFunctionAtCursor(QString* error = nullptr);
    bool ShowCallGraph(QString* error = nullptr);
    // The entry of the function shown, or -1 for the call graph.
    long ShownFunction() const { return function_; }

    TGraphView* View;
    QAction* FunctionAction;
    QAction* CallsAction;
    QAction* ZoomInAction;
    QAction* ZoomOutAction;
    QAction* ActualSizeAction;
    QAction* FitAction;
    QAction* ExportAction;
    QLabel* Legend;
    // Where to export; tests put their own answer here. Empty: cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> askExportPath;
    std::function<void(QWidget* parent, const QString& text)> showError;

  private:
    const tolvek::browse::ProgramFlow& Flow();
    // The word at the listing's cursor, or the next one after it; -1 for none.
    long CursorWord() const;
    bool Show(bool calls, QString* error);
    void ExportPicture();
    void UpdateLegend();
    void Go(unsigned address, bool label);

    TListingWindow* listing_;
    std::optional<tolvek::browse::ProgramFlow> flow_;
    long function_ = -1;
    QString shownName_;
};

// Adds the graph views to the listing window: Space shows the function at the
// cursor as a graph, Ctrl+F12 the call graph; both also on the tool bar.
void AddGraphViews(TListingWindow* listing, QToolBar* bar);
