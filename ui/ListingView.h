// The text of a listing or source: read-only, fixed-pitch, coloured by what
// each word is, with the word address of every line in a margin that stays in
// view. Colours are put on a line only when it first comes into view, so a
// listing of any length opens at once.
#pragma once

#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <array>
#include <vector>

#include "browse/Document.h"

class TListingView : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit TListingView(QWidget* parent = nullptr);

    // Shows the document's text; the document must outlive the view's use of it.
    // firstLine and cursorLine put the view where it was before a reload.
    void ShowDocument(const tolvek::browse::Document* document, int firstLine = 0,
                      int cursorLine = 0);
    const tolvek::browse::Document* Document() const { return document_; }

    // Puts the cursor at the start of the line and brings it into view with
    // some lines above it.
    void ShowLine(int line);
    int CurrentLine() const;
    int FirstVisibleLine() const;
    // The byte column in the document's line for the cursor's place in it.
    std::size_t ByteColumn(const QTextCursor& cursor) const;
    // The view's column for a byte column of the document's line.
    int ViewColumn(int line, std::size_t byteColumn) const;

    // The line a click or Enter at the cursor leads to, or -1.
    int TargetAt(const QTextCursor& cursor) const;

    // How many uses of the name or number under the cursor are marked.
    int MarkedUses() const { return uses_; }

    QColor RoleColor(tolvek::browse::Role role) const;
    bool DarkPalette() const;
    // The colour of a role in the palette, light or dark.
    static QColor RoleColor(tolvek::browse::Role role, const QPalette& palette);
    static bool DarkPalette(const QPalette& palette);

    void PaintAddresses(QPaintEvent* event);
    int AddressWidth() const;

  signals:
    // A click on a label or target, or Enter on it: go to the line.
    void FollowRequested(int line);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void MakeFormats();
    void ColourVisibleLines();
    void MarkCurrentLine();
    bool LineIsAscii(int line) const;

    const tolvek::browse::Document* document_ = nullptr;
    bool utf8_ = false;  // the text is UTF-8 with characters beyond ASCII
    std::vector<bool> coloured_;
    std::array<QTextCharFormat, 10> formats_;
    QWidget* addressArea_;
    QPoint pressAt_;
    bool colouring_ = false;
    int uses_ = 0;
};
