#include "ui/ListingView.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

using tolvek::browse::Role;

namespace {

constexpr int kAddressPadding = 6;

// The margin beside the text that shows each line's word address.
class TAddressArea : public QWidget {
  public:
    explicit TAddressArea(TListingView* view) : QWidget(view), view_(view) {}
    QSize sizeHint() const override { return {view_->AddressWidth(), 0}; }

  protected:
    void paintEvent(QPaintEvent* event) override { view_->PaintAddresses(event); }

  private:
    TListingView* view_;
};

bool IsUtf8(const std::string& text) {
    const QByteArray bytes =
        QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()));
    QString decoded = QString::fromUtf8(bytes);
    return !decoded.contains(QChar::ReplacementCharacter);
}

}  // namespace

TListingView::TListingView(QWidget* parent)
    : QPlainTextEdit(parent), addressArea_(new TAddressArea(this)) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    setFont(font);
    setViewportMargins(AddressWidth(), 0, 0, 0);
    MakeFormats();
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0) {
            addressArea_->scroll(0, dy);
        } else {
            addressArea_->update(0, rect.y(), addressArea_->width(), rect.height());
        }
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &TListingView::MarkCurrentLine);
}

void TListingView::ShowDocument(const tolvek::browse::Document* document, int firstLine,
                                int cursorLine) {
    document_ = document;
    const std::string& text = document->Text();
    utf8_ = std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; }) &&
            IsUtf8(text);
    const QByteArray bytes =
        QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()));
    QString shown = utf8_ ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
    if (shown.endsWith('\n')) {
        shown.chop(1);  // the view would show an empty last line
    }
    coloured_.assign(document->LineCount() + 1, false);
    setPlainText(shown);
    const int lines = static_cast<int>(document->LineCount());
    QTextCursor cursor(QPlainTextEdit::document()->findBlockByNumber(
        std::clamp(cursorLine, 0, std::max(0, lines - 1))));
    setTextCursor(cursor);
    verticalScrollBar()->setValue(firstLine);
    MarkCurrentLine();
}

void TListingView::ShowLine(int line) {
    const QTextBlock block = QPlainTextEdit::document()->findBlockByNumber(line);
    if (!block.isValid()) {
        return;
    }
    // where the view stood before the cursor moved it
    const int first = FirstVisibleLine();
    setTextCursor(QTextCursor(block));
    // a few lines of context above the line, as a reader expects after a jump
    const int visible = std::max(1, viewport()->height() / std::max(1, fontMetrics().height()));
    const int context = std::min(visible / 4, 8);
    if (line < first + context || line >= first + visible - 1) {
        verticalScrollBar()->setValue(std::max(0, line - context));
    }
}

int TListingView::CurrentLine() const {
    return textCursor().blockNumber();
}

int TListingView::FirstVisibleLine() const {
    return firstVisibleBlock().blockNumber();
}

bool TListingView::LineIsAscii(int line) const {
    if (!utf8_ || document_ == nullptr || line < 0 ||
        static_cast<std::size_t>(line) >= document_->LineCount()) {
        return true;
    }
    const std::string_view text = document_->Line(static_cast<std::size_t>(line));
    return std::none_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
}

std::size_t TListingView::ByteColumn(const QTextCursor& cursor) const {
    const int line = cursor.blockNumber();
    const int column = cursor.positionInBlock();
    if (LineIsAscii(line)) {
        return static_cast<std::size_t>(column);
    }
    return static_cast<std::size_t>(cursor.block().text().left(column).toUtf8().size());
}

int TListingView::ViewColumn(int line, std::size_t byteColumn) const {
    if (LineIsAscii(line)) {
        return static_cast<int>(byteColumn);
    }
    const std::string_view text = document_->Line(static_cast<std::size_t>(line));
    return static_cast<int>(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min(byteColumn, text.size())))
            .size());
}

int TListingView::TargetAt(const QTextCursor& cursor) const {
    if (document_ == nullptr) {
        return -1;
    }
    return document_->TargetAt(static_cast<std::size_t>(cursor.blockNumber()), ByteColumn(cursor));
}

bool TListingView::DarkPalette() const {
    return DarkPalette(palette());
}

bool TListingView::DarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Base).lightness() < 128;
}

QColor TListingView::RoleColor(Role role) const {
    return RoleColor(role, palette());
}

QColor TListingView::RoleColor(Role role, const QPalette& palette) {
    // Two sets, each checked for contrast against its own background.
    struct Pair {
        QRgb light;
        QRgb dark;
    };
    static constexpr std::array<Pair, 10> kColors = {{
        {0x000000, 0xd4d4d4},  // Plain (the palette's text colour is used instead)
        {0x0b3fa8, 0x6cb2ff},  // Mnemonic
        {0x8a1a8f, 0xd093e6},  // Directive
        {0x00705a, 0x4ec9b0},  // Register
        {0x8a5a00, 0xe5c07b},  // Bit
        {0xa3141c, 0xff7b72},  // Label
        {0x1f6f16, 0xa5d6a7},  // Number
        {0x6b6b6b, 0x8f98a3},  // Comment
        {0xa04a00, 0xf0a45d},  // Note
        {0x5c6370, 0x9da5b4},  // Address
    }};
    if (role == Role::Plain) {
        return palette.color(QPalette::Text);
    }
    const Pair& pair = kColors[static_cast<std::size_t>(role)];
    return QColor(DarkPalette(palette) ? pair.dark : pair.light);
}

void TListingView::MakeFormats() {
    for (std::size_t i = 0; i < formats_.size(); ++i) {
        const auto role = static_cast<Role>(i);
        QTextCharFormat format;
        format.setForeground(RoleColor(role));
        if (role == Role::Mnemonic || role == Role::Label) {
            format.setFontWeight(QFont::Bold);
        }
        if (role == Role::Comment || role == Role::Note) {
            format.setFontItalic(true);
        }
        formats_[i] = format;
    }
}

void TListingView::ColourVisibleLines() {
    if (document_ == nullptr || colouring_) {
        return;
    }
    colouring_ = true;
    QTextBlock block = firstVisibleBlock();
    const qreal bottom = viewport()->rect().bottom();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    while (block.isValid() && top <= bottom) {
        const int line = block.blockNumber();
        if (static_cast<std::size_t>(line) < document_->LineCount() &&
            !coloured_[static_cast<std::size_t>(line)]) {
            coloured_[static_cast<std::size_t>(line)] = true;
            QList<QTextLayout::FormatRange> ranges;
            for (const tolvek::browse::Token& token :
                 document_->Tokens(static_cast<std::size_t>(line))) {
                if (token.role == Role::Plain) {
                    continue;
                }
                const int start = ViewColumn(line, token.start);
                const int end = ViewColumn(line, token.start + token.length);
                QTextCharFormat format = formats_[static_cast<std::size_t>(token.role)];
                if (token.link && token.role != Role::Label) {
                    format.setFontUnderline(true);  // labels stand out already
                }
                ranges.append({start, end - start, format});
            }
            block.layout()->setFormats(ranges);
            QPlainTextEdit::document()->markContentsDirty(block.position(), block.length());
        }
        top += blockBoundingRect(block).height();
        block = block.next();
    }
    colouring_ = false;
}

void TListingView::paintEvent(QPaintEvent* event) {
    ColourVisibleLines();
    QPlainTextEdit::paintEvent(event);
}

void TListingView::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        MakeFormats();
        // colour again as lines come into view
        for (QTextBlock block = QPlainTextEdit::document()->begin(); block.isValid();
             block = block.next()) {
            const auto line = static_cast<std::size_t>(block.blockNumber());
            if (line < coloured_.size() && coloured_[line]) {
                coloured_[line] = false;
                block.layout()->clearFormats();
            }
        }
        setViewportMargins(AddressWidth(), 0, 0, 0);
        MarkCurrentLine();
        viewport()->update();
    }
}

int TListingView::AddressWidth() const {
    return fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 2 * kAddressPadding;
}

void TListingView::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    addressArea_->setGeometry(QRect(area.left(), area.top(), AddressWidth(), area.height()));
}

void TListingView::PaintAddresses(QPaintEvent* event) {
    QPainter painter(addressArea_);
    const QPalette& colours = palette();
    painter.fillRect(event->rect(), colours.color(QPalette::AlternateBase));
    if (document_ == nullptr) {
        return;
    }
    painter.setFont(font());
    const int current = CurrentLine();
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    while (block.isValid() && top <= event->rect().bottom()) {
        const qreal height = blockBoundingRect(block).height();
        const int line = block.blockNumber();
        const int address = document_->AddressOf(static_cast<std::size_t>(line));
        if (address >= 0 && top + height >= event->rect().top()) {
            QFont font = painter.font();
            font.setBold(line == current);
            painter.setFont(font);
            painter.setPen(line == current ? colours.color(QPalette::Text)
                                           : RoleColor(Role::Address));
            painter.drawText(QRectF(0, top, AddressWidth() - kAddressPadding, height),
                             Qt::AlignRight | Qt::AlignVCenter,
                             QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper());
        }
        top += height;
        block = block.next();
    }
}

void TListingView::MarkCurrentLine() {
    QTextEdit::ExtraSelection selection;
    QColor colour = palette().color(QPalette::Highlight);
    colour.setAlpha(DarkPalette() ? 70 : 40);
    selection.format.setBackground(colour);
    selection.format.setProperty(QTextFormat::FullWidthSelection, true);
    selection.cursor = textCursor();
    selection.cursor.clearSelection();
    QList<QTextEdit::ExtraSelection> selections{selection};
    // every use of the name or number under the cursor
    const QTextCursor cursor = textCursor();
    const std::string_view word =
        document_ != nullptr && !cursor.hasSelection()
            ? document_->WordAt(static_cast<std::size_t>(cursor.blockNumber()), ByteColumn(cursor))
            : std::string_view();
    if (!word.empty()) {
        constexpr std::size_t kMostUses = 5000;
        QColor use = RoleColor(Role::Label);
        use.setAlpha(DarkPalette() ? 90 : 60);
        QTextEdit::ExtraSelection mark;
        mark.format.setBackground(use);
        for (const auto& [line, column] : document_->Occurrences(word, kMostUses)) {
            const QTextBlock block =
                QPlainTextEdit::document()->findBlockByNumber(static_cast<int>(line));
            mark.cursor = QTextCursor(block);
            mark.cursor.setPosition(block.position() + ViewColumn(static_cast<int>(line), column));
            mark.cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor,
                                     static_cast<int>(word.size()));
            selections.append(mark);
        }
    }
    uses_ = static_cast<int>(selections.size()) - 1;
    setExtraSelections(selections);
    addressArea_->update();
}

void TListingView::mousePressEvent(QMouseEvent* event) {
    pressAt_ = event->position().toPoint();
    QPlainTextEdit::mousePressEvent(event);
}

void TListingView::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || textCursor().hasSelection() ||
        (at - pressAt_).manhattanLength() >= QApplication::startDragDistance()) {
        return;
    }
    const int target = TargetAt(cursorForPosition(at));
    if (target >= 0) {
        emit FollowRequested(target);
    }
}

void TListingView::mouseMoveEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseMoveEvent(event);
    if (event->buttons() == Qt::NoButton) {
        const bool onTarget = TargetAt(cursorForPosition(event->position().toPoint())) >= 0;
        viewport()->setCursor(onTarget ? Qt::PointingHandCursor : Qt::IBeamCursor);
    }
}

void TListingView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        const int target = TargetAt(textCursor());
        if (target >= 0) {
            emit FollowRequested(target);
        }
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
