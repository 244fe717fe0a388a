// A picture of the program's flow: a function's basic blocks as boxes of
// instructions with the jumps and skips between them, or the functions with
// the calls between them, laid out by Graphviz and drawn in the palette's
// colours. A click on a box's line says which word it shows.
#pragma once

#include <QGraphicsView>
#include <QString>
#include <optional>
#include <vector>

#include "browse/Document.h"
#include "browse/Graph.h"
#include "ui/GraphLayout.h"

class QGraphicsItem;

class TGraphView : public QGraphicsView {
    Q_OBJECT
  public:
    explicit TGraphView(QWidget* parent = nullptr);

    // The function's blocks; false with the reason in *error.
    bool ShowFunction(const tolvek::browse::Document& document,
                      const tolvek::browse::FunctionGraph& graph, QString* error = nullptr);
    // The functions and who calls whom.
    bool ShowCalls(const tolvek::browse::Document& document, const tolvek::browse::CallGraph& graph,
                   QString* error = nullptr);
    bool ShowsCalls() const { return calls_; }
    std::size_t NodeCount() const { return nodes_.size(); }

    // Marks the box that holds the word (a block, or a function's entry in the
    // call graph); with show, brings it into view. False when no box holds it.
    bool Mark(unsigned address, bool show = true);
    int MarkedNode() const { return marked_; }

    // Writes the whole picture as SVG or PNG, by the name's suffix; false with
    // the reason in *error.
    bool Export(const QString& path, QString* error = nullptr);
    // The picture as SVG text, and as an image at the scale given.
    QByteArray Svg() const;
    QImage Image(double scale = 1.0) const;

    // What the colours and lines of the edges say, as rich text.
    QString LegendHtml() const;

    double Zoom() const;
    void SetZoom(double zoom);
    void ZoomBy(double factor);
    void Fit();

    // Where the line of the word stands in the view's viewport, once it is in
    // view; label: the head line of the box that starts there.
    std::optional<QPoint> PointOf(unsigned address, bool label = false) const;

  signals:
    // A click on a box's line: the word it shows; label: its head line, which
    // shows the label of the word.
    void WordActivated(unsigned address, bool label);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Row {
        QString text;
        unsigned address = 0;
        enum class Kind : std::uint8_t { Head, Code, Caption } kind = Kind::Code;
    };
    struct Node {
        std::vector<Row> rows;
        unsigned address = 0;  // the first word
        unsigned last = 0;     // the last word
        bool outside = false;  // another function, left to by a jump
        bool entry = false;    // the function's entry, or a vector in the call graph
        bool faint = false;    // not reached from the vectors
        QRectF rect;
    };
    enum class Style : std::uint8_t {
        Next,
        Jump,
        SkipTaken,
        SkipNotTaken,
        Computed,
        Call,
        TailJump
    };
    struct Edge {
        std::size_t from = 0;
        std::size_t to = 0;
        Style style = Style::Next;
        bool heavy = false;  // a loop's way back, or several calls
        tolvek::ui::LaidEdge laid;
    };

    bool Lay(QString* error);
    void Populate();
    QSizeF RowsSize(const std::vector<Row>& rows) const;
    QColor EdgeColor(Style style) const;
    QColor RoleColor(tolvek::browse::Role role) const;
    bool Dark() const;
    QFont BoxFont() const;
    int NodeAt(const QPointF& scenePoint, std::size_t* row) const;
    void PaintNode(QPainter& painter, const Node& node, bool marked) const;
    void Render(QPainter& painter, const QRectF& target) const;

    friend class TNodeItem;
    std::vector<Node> nodes_;
    std::vector<Edge> edges_;
    QSizeF size_;
    bool calls_ = false;
    int marked_ = -1;
    QPoint pressAt_;
};
