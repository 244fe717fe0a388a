#include "ui/GraphView.h"

#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGraphicsItem>
#include <QGraphicsPathItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsScene>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QSvgGenerator>
#include <QWheelEvent>
#include <cmath>

#include "ui/ListingView.h"

using tolvek::browse::Block;
using tolvek::browse::BlockEdge;
using tolvek::browse::CallEdge;
using tolvek::browse::CallNode;
using tolvek::browse::Document;
using tolvek::browse::EdgeKind;
using tolvek::browse::Role;

namespace {

constexpr double kPadX = 8;
constexpr double kPadY = 5;
constexpr double kMargin = 16;
constexpr double kArrowLength = 9;
constexpr double kArrowWidth = 7;
// The largest side of an exported PNG, in pixels.
constexpr double kLargestImageSide = 16000;

QString Hex4(unsigned value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString FromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString NameOf(const Document& document, unsigned address) {
    const int label = document.LabelAtAddress(address);
    return label < 0 ? Hex4(address)
                     : FromBytes(document.Labels()[static_cast<std::size_t>(label)].name);
}

QColor Mix(const QColor& a, const QColor& b, double share) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                            static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                            static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

}  // namespace

// One box of the picture, painted by the view.
class TNodeItem : public QGraphicsItem {
  public:
    TNodeItem(const TGraphView* view, std::size_t index) : view_(view), index_(index) {}
    QRectF boundingRect() const override {
        return view_->nodes_[index_].rect.adjusted(-3, -3, 3, 3);
    }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        view_->PaintNode(*painter, view_->nodes_[index_],
                         static_cast<int>(index_) == view_->marked_);
    }

  private:
    const TGraphView* view_;
    std::size_t index_;
};

TGraphView::TGraphView(QWidget* parent) : QGraphicsView(parent) {
    setScene(new QGraphicsScene(this));
    setDragMode(QGraphicsView::ScrollHandDrag);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setViewportUpdateMode(QGraphicsView::SmartViewportUpdate);
    setFocusPolicy(Qt::StrongFocus);
}

QFont TGraphView::BoxFont() const {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    return font;
}

bool TGraphView::Dark() const {
    return TListingView::DarkPalette(palette());
}

QColor TGraphView::RoleColor(Role role) const {
    return TListingView::RoleColor(role, palette());
}

QColor TGraphView::EdgeColor(Style style) const {
    const bool dark = Dark();
    switch (style) {
        case Style::Jump:
            return QColor(dark ? 0x6cb2ff : 0x1f5fbf);
        case Style::SkipTaken:
            return QColor(dark ? 0x7ee787 : 0x1a7f37);
        case Style::SkipNotTaken:
            return QColor(dark ? 0xff7b72 : 0xc42b1c);
        case Style::Computed:
            return QColor(dark ? 0xd093e6 : 0x8a1a8f);
        case Style::TailJump:
            return QColor(dark ? 0xf0a45d : 0xa04a00);
        case Style::Call:
        case Style::Next:
            break;
    }
    return Mix(palette().color(QPalette::Base), palette().color(QPalette::Text), 0.6);
}

QSizeF TGraphView::RowsSize(const std::vector<Row>& rows) const {
    QFont bold = BoxFont();
    bold.setBold(true);
    const QFontMetricsF plain(BoxFont());
    const QFontMetricsF strong(bold);
    double width = 0;
    for (const Row& row : rows) {
        // the bold parts measured bold: a fixed-pitch face may widen them
        double w = 0;
        if (row.kind == Row::Kind::Code) {
            const qsizetype space = row.text.indexOf(QLatin1Char(' '), 6);
            const QString mnemonic = row.text.mid(6, space < 0 ? -1 : space - 6);
            w = plain.horizontalAdvance(row.text) - plain.horizontalAdvance(mnemonic) +
                strong.horizontalAdvance(mnemonic);
        } else {
            w = strong.horizontalAdvance(row.text);
        }
        width = std::max(width, w);
    }
    return {std::ceil(width + 2 * kPadX),
            std::ceil(static_cast<double>(rows.size()) * plain.lineSpacing() + 2 * kPadY)};
}

bool TGraphView::ShowFunction(const Document& document, const tolvek::browse::FunctionGraph& graph,
                              QString* error) {
    calls_ = false;
    nodes_.clear();
    edges_.clear();
    for (std::size_t b = 0; b < graph.blocks.size(); ++b) {
        const Block& block = graph.blocks[b];
        Node node;
        node.address = block.first;
        node.last = block.last;
        node.outside = block.outside;
        node.entry = b == 0;
        const int label = document.LabelAtAddress(block.first);
        if (block.outside) {
            node.rows.push_back({NameOf(document, block.first), block.first, Row::Kind::Head});
        } else if (label >= 0) {
            node.rows.push_back(
                {FromBytes(document.Labels()[static_cast<std::size_t>(label)].name) + ':',
                 block.first, Row::Kind::Head});
        }
        for (const std::size_t line : block.lines) {
            const auto address = static_cast<unsigned>(document.AddressOf(line));
            node.rows.push_back({Hex4(address) + QStringLiteral("  ") +
                                     FromBytes(tolvek::browse::BlockLineText(document, line)),
                                 address, Row::Kind::Code});
        }
        nodes_.push_back(std::move(node));
    }
    for (const BlockEdge& edge : graph.edges) {
        Style style = Style::Next;
        switch (edge.kind) {
            case EdgeKind::Next:
                style = Style::Next;
                break;
            case EdgeKind::Jump:
                style = graph.blocks[edge.to].outside ? Style::TailJump : Style::Jump;
                break;
            case EdgeKind::SkipTaken:
                style = Style::SkipTaken;
                break;
            case EdgeKind::SkipNotTaken:
                style = Style::SkipNotTaken;
                break;
            case EdgeKind::Computed:
                style = Style::Computed;
                break;
        }
        edges_.push_back({edge.from, edge.to, style, edge.back, {}});
    }
    return Lay(error);
}

bool TGraphView::ShowCalls(const Document& document, const tolvek::browse::CallGraph& graph,
                           QString* error) {
    calls_ = true;
    nodes_.clear();
    edges_.clear();
    for (const CallNode& function : graph.nodes) {
        Node node;
        node.address = function.entry;
        node.last = function.entry;
        node.entry = function.root;
        node.faint = !function.reached;
        const bool named = document.LabelAtAddress(function.entry) >= 0;
        const QString vector = FromBytes(function.vector);
        node.rows.push_back({named || vector.isEmpty() ? NameOf(document, function.entry) : vector,
                             function.entry, Row::Kind::Head});
        node.rows.push_back({named && !vector.isEmpty()
                                 ? QStringLiteral("%1  %2").arg(Hex4(function.entry), vector)
                                 : Hex4(function.entry),
                             function.entry, Row::Kind::Caption});
        nodes_.push_back(std::move(node));
    }
    for (const CallEdge& call : graph.edges) {
        edges_.push_back(
            {call.from, call.to, call.jump ? Style::TailJump : Style::Call, call.count > 1, {}});
    }
    return Lay(error);
}

bool TGraphView::Lay(QString* error) {
    marked_ = -1;
    tolvek::ui::LayoutIn in;
    for (Node& node : nodes_) {
        const QSizeF size = RowsSize(node.rows);
        node.rect.setSize(size);
        in.sizes.push_back({size.width(), size.height()});
        if (node.entry) {
            in.top.push_back(static_cast<std::size_t>(&node - nodes_.data()));
        }
    }
    for (const Edge& edge : edges_) {
        // a loop's way back leaves the ranks to the way forward, so that it points up
        in.edges.push_back({edge.from, edge.to, calls_ || !edge.heavy});
    }
    std::string why;
    const std::optional<tolvek::ui::Layout> layout = tolvek::ui::LayOut(in, &why);
    if (!layout) {
        if (error != nullptr) {
            *error = QString::fromStdString(why);
        }
        nodes_.clear();
        edges_.clear();
        Populate();
        return false;
    }
    size_ = QSizeF(layout->size.x + 2 * kMargin, layout->size.y + 2 * kMargin);
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
        const tolvek::ui::LayoutPoint centre = layout->centres[n];
        nodes_[n].rect.moveCenter(QPointF(centre.x + kMargin, centre.y + kMargin));
    }
    for (std::size_t e = 0; e < edges_.size(); ++e) {
        tolvek::ui::LaidEdge laid = layout->edges[e];
        for (tolvek::ui::LayoutPoint& p : laid.curve) {
            p = {p.x + kMargin, p.y + kMargin};
        }
        if (laid.tip) {
            laid.tip = tolvek::ui::LayoutPoint{laid.tip->x + kMargin, laid.tip->y + kMargin};
        }
        edges_[e].laid = std::move(laid);
    }
    Populate();
    return true;
}

void TGraphView::Populate() {
    QGraphicsScene* picture = scene();
    picture->clear();
    picture->setSceneRect(QRectF(QPointF(0, 0), size_));
    setBackgroundBrush(palette().color(QPalette::Window));
    for (const Edge& edge : edges_) {
        const std::vector<tolvek::ui::LayoutPoint>& c = edge.laid.curve;
        if (c.empty()) {
            continue;
        }
        QPainterPath path(QPointF(c[0].x, c[0].y));
        for (std::size_t i = 1; i + 2 < c.size(); i += 3) {
            path.cubicTo(QPointF(c[i].x, c[i].y), QPointF(c[i + 1].x, c[i + 1].y),
                         QPointF(c[i + 2].x, c[i + 2].y));
        }
        const QColor colour = EdgeColor(edge.style);
        QPen pen(colour, edge.heavy ? 2.6 : 1.4);
        pen.setCapStyle(Qt::FlatCap);
        if (edge.style == Style::SkipNotTaken || edge.style == Style::TailJump) {
            pen.setStyle(Qt::DashLine);
        } else if (edge.style == Style::Computed) {
            pen.setStyle(Qt::DotLine);
        }
        picture->addPath(path, pen)->setZValue(0);
        if (edge.laid.tip) {
            const QPointF from = path.currentPosition();
            const QPointF tip(edge.laid.tip->x, edge.laid.tip->y);
            const QLineF line(from, tip);
            if (line.length() > 0.1) {
                const QPointF unit = (tip - from) / line.length();
                const QPointF across(-unit.y(), unit.x());
                const QPointF back = tip - unit * kArrowLength;
                QPolygonF head;
                head << tip << back + across * (kArrowWidth / 2)
                     << back - across * (kArrowWidth / 2);
                picture->addPolygon(head, QPen(colour, 1), QBrush(colour))->setZValue(1);
            }
        }
    }
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
        auto* item = new TNodeItem(this, n);
        item->setZValue(2);
        picture->addItem(item);
    }
}

void TGraphView::PaintNode(QPainter& painter, const Node& node, bool marked) const {
    const QPalette colours = palette();
    const QColor base = colours.color(QPalette::Base);
    const QColor text = colours.color(QPalette::Text);
    const QColor highlight = colours.color(QPalette::Highlight);
    QColor fill = node.outside ? colours.color(QPalette::Window) : base;
    QColor border = Mix(base, text, 0.45);
    double width = 1.2;
    if (node.entry) {
        border = RoleColor(Role::Label);
        width = 2;
    }
    if (marked) {
        fill = Mix(base, highlight, 0.14);
        border = highlight;
        width = 2.6;
    }
    QPen pen(border, width);
    if (node.outside || node.faint) {
        pen.setStyle(Qt::DashLine);
    }
    painter.setPen(pen);
    painter.setBrush(fill);
    const double radius = node.outside || calls_ ? 8 : 3;
    painter.drawRoundedRect(node.rect, radius, radius);

    QFont plain = BoxFont();
    QFont bold = plain;
    bold.setBold(true);
    QFont italic = plain;
    italic.setItalic(true);
    const QFontMetricsF metrics(plain);
    const double rowHeight = metrics.lineSpacing();
    double y = node.rect.top() + kPadY + metrics.ascent();
    const double left = node.rect.left() + kPadX;
    auto faded = [&](QColor colour) {
        if (node.faint) {
            colour.setAlphaF(0.55F);
        }
        return colour;
    };
    auto part = [&](double x, const QString& piece, const QFont& font, const QColor& colour) {
        painter.setFont(font);
        painter.setPen(faded(colour));
        painter.drawText(QPointF(x, y), piece);
        return x + QFontMetricsF(font).horizontalAdvance(piece);
    };
    for (const Row& row : node.rows) {
        switch (row.kind) {
            case Row::Kind::Head:
                part(left, row.text, bold, RoleColor(Role::Label));
                break;
            case Row::Kind::Caption:
                part(left, row.text, plain, RoleColor(Role::Address));
                break;
            case Row::Kind::Code: {
                double x = part(left, row.text.left(6), plain, RoleColor(Role::Address));
                const qsizetype comment = row.text.indexOf(QStringLiteral("  ; "), 6);
                const QString code = row.text.mid(6, comment < 0 ? -1 : comment - 6);
                const qsizetype space = code.indexOf(QLatin1Char(' '));
                x = part(x, code.left(space < 0 ? code.size() : space), bold,
                         RoleColor(Role::Mnemonic));
                if (space >= 0) {
                    x = part(x, code.mid(space), plain, text);
                }
                if (comment >= 0) {
                    part(x, row.text.mid(comment), italic, RoleColor(Role::Comment));
                }
                break;
            }
        }
        y += rowHeight;
    }
}

int TGraphView::NodeAt(const QPointF& point, std::size_t* row) const {
    const double rowHeight = QFontMetricsF(BoxFont()).lineSpacing();
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
        const Node& node = nodes_[n];
        if (!node.rect.contains(point)) {
            continue;
        }
        const double at = std::floor((point.y() - node.rect.top() - kPadY) / rowHeight);
        *row = static_cast<std::size_t>(
            std::clamp(at, 0.0, static_cast<double>(node.rows.size()) - 1));
        return static_cast<int>(n);
    }
    return -1;
}

bool TGraphView::Mark(unsigned address, bool show) {
    int found = -1;
    for (std::size_t n = 0; n < nodes_.size() && found < 0; ++n) {
        const Node& node = nodes_[n];
        if (!node.outside && node.address <= address && address <= node.last) {
            found = static_cast<int>(n);
        }
    }
    if (found != marked_) {
        marked_ = found;
        scene()->update();
    }
    if (found >= 0 && show) {
        ensureVisible(nodes_[static_cast<std::size_t>(found)].rect, 40, 40);
    }
    return found >= 0;
}

std::optional<QPoint> TGraphView::PointOf(unsigned address, bool label) const {
    const double rowHeight = QFontMetricsF(BoxFont()).lineSpacing();
    for (const Node& node : nodes_) {
        if (node.outside || address < node.address || address > node.last) {
            continue;
        }
        for (std::size_t r = 0; r < node.rows.size(); ++r) {
            const Row& row = node.rows[r];
            if (row.address != address || (row.kind == Row::Kind::Code) == label) {
                continue;
            }
            const QPointF at(node.rect.left() + kPadX + 4,
                             node.rect.top() + kPadY + (static_cast<double>(r) + 0.5) * rowHeight);
            const QPoint point = mapFromScene(at);
            if (!viewport()->rect().contains(point)) {
                return std::nullopt;
            }
            return point;
        }
    }
    return std::nullopt;
}

void TGraphView::mousePressEvent(QMouseEvent* event) {
    pressAt_ = event->pos();
    QGraphicsView::mousePressEvent(event);
}

void TGraphView::mouseReleaseEvent(QMouseEvent* event) {
    QGraphicsView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton ||
        (event->pos() - pressAt_).manhattanLength() >= QApplication::startDragDistance()) {
        return;  // a drag moves the picture
    }
    std::size_t row = 0;
    const int n = NodeAt(mapToScene(event->pos()), &row);
    if (n < 0) {
        return;
    }
    const Node& node = nodes_[static_cast<std::size_t>(n)];
    if (node.outside || calls_ || node.rows[row].kind != Row::Kind::Code) {
        emit WordActivated(node.address, true);
    } else {
        emit WordActivated(node.rows[row].address, false);
    }
}

void TGraphView::wheelEvent(QWheelEvent* event) {
    if ((event->modifiers() & Qt::ControlModifier) != 0) {
        ZoomBy(event->angleDelta().y() > 0 ? 1.15 : 1 / 1.15);
        event->accept();
        return;
    }
    QGraphicsView::wheelEvent(event);
}

void TGraphView::changeEvent(QEvent* event) {
    QGraphicsView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        Populate();
    }
}

QString TGraphView::LegendHtml() const {
    auto entry = [this](Style style, const char* line, const QString& what) {
        return QStringLiteral("<span style=\"color:%1\"><b>%2</b></span>&nbsp;%3")
            .arg(EdgeColor(style).name(), QString::fromUtf8(line), what);
    };
    if (calls_) {
        return entry(Style::Call, "\u2501\u2501", tr("calls")) + QStringLiteral("&nbsp;&nbsp; ") +
               entry(Style::TailJump, "\u254c\u254c", tr("jumps into")) +
               QStringLiteral("&nbsp;&nbsp; ") + tr("thick: called more than once");
    }
    const QString gap = QStringLiteral("&nbsp;&nbsp; ");
    return entry(Style::Next, "\u2501\u2501", tr("runs on")) + gap +
           entry(Style::Jump, "\u2501\u2501", tr("jump")) + gap +
           entry(Style::SkipTaken, "\u2501\u2501", tr("skip taken")) + gap +
           entry(Style::SkipNotTaken, "\u254c\u254c", tr("no skip")) + gap +
           entry(Style::Computed, "\u2508\u2508", tr("computed")) + gap +
           entry(Style::TailJump, "\u254c\u254c", tr("to another function")) + gap +
           tr("thick: back to a loop's start");
}

double TGraphView::Zoom() const {
    return transform().m11();
}

void TGraphView::SetZoom(double zoom) {
    zoom = std::clamp(zoom, 0.05, 4.0);
    setTransform(QTransform::fromScale(zoom, zoom));
}

void TGraphView::ZoomBy(double factor) {
    SetZoom(Zoom() * factor);
}

void TGraphView::Fit() {
    if (size_.isEmpty()) {
        return;
    }
    const double zoom =
        std::min({1.0, viewport()->width() / size_.width(), viewport()->height() / size_.height()});
    SetZoom(zoom);
    centerOn(scene()->sceneRect().center());
}

void TGraphView::Render(QPainter& painter, const QRectF& target) const {
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.fillRect(target, palette().color(QPalette::Window));
    scene()->render(&painter, target, QRectF(QPointF(0, 0), size_));
}

QByteArray TGraphView::Svg() const {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size_.toSize());
    generator.setViewBox(QRectF(QPointF(0, 0), size_));
    generator.setTitle(calls_ ? tr("Call graph") : tr("Function graph"));
    generator.setDescription(tr("Drawn by Tolvek"));
    QPainter painter(&generator);
    Render(painter, QRectF(QPointF(0, 0), size_));
    painter.end();
    return buffer.data();
}

QImage TGraphView::Image(double scale) const {
    const QSize pixels(std::max(1, static_cast<int>(std::ceil(size_.width() * scale))),
                       std::max(1, static_cast<int>(std::ceil(size_.height() * scale))));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    Render(painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
    return image;
}

bool TGraphView::Export(const QString& path, QString* error) {
    auto fail = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    if (nodes_.empty()) {
        return fail(tr("There is no graph to export."));
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    QByteArray bytes;
    if (suffix == QLatin1String("svg")) {
        bytes = Svg();
    } else if (suffix == QLatin1String("png")) {
        // as sharp as the screen shows it, within what an image viewer opens
        const double scale = std::min(std::max(1.0, devicePixelRatioF()),
                                      kLargestImageSide / std::max(size_.width(), size_.height()));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!Image(scale).save(&buffer, "PNG")) {
            return fail(tr("The picture could not be made into a PNG image."));
        }
    } else {
        return fail(tr("Give the file a name that ends in .svg or .png."));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return fail(tr("Cannot write \"%1\": %2").arg(path, file.errorString()));
    }
    return true;
}
