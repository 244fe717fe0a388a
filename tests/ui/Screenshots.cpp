// Renders the window after start-up, after a successful run, after a record
// error, after an INHX32 file was run as INHX8M and then as INHX32, after a
// source run, the help window, and the listing window (with a register's data
// references, and with the user's comments) in a light and a dark palette, as
// PNG files in the directory given.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTextStream>
#include <QThread>
#include <memory>
#include <string_view>

#include "tests/ui/TestFiles.h"
#include "ui/Dis.h"
#include "ui/Dishp.h"
#include "ui/GraphView.h"
#include "ui/GraphWindow.h"
#include "ui/ListingView.h"
#include "ui/ListingWindow.h"
#include "ui/SourceMaker.h"
#include "ui/SourceRun.h"

namespace {

void Settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

bool Save(QWidget& widget, const QString& path) {
    Settle();
    return widget.grab().save(path, "PNG");
}

QPalette DarkPalette() {
    QPalette palette;
    const QColor window(0x2b, 0x2d, 0x30);
    const QColor base(0x1e, 0x1f, 0x22);
    const QColor text(0xdf, 0xe1, 0xe5);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, QColor(0x26, 0x28, 0x2b));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x65, 0xca));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8c, 0x8f, 0x94));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6f, 0x73, 0x7a));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6f, 0x73, 0x7a));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6f, 0x73, 0x7a));
    return palette;
}

// The listing window on a source, after a jump from a call to its function.
bool SaveListing(const QString& path, const QString& file) {
    TListingWindow window;
    window.resize(980, 560);
    if (!window.Open(path)) {
        return false;
    }
    window.show();
    window.GoTo(QStringLiteral("000B"));
    const int call = window.CurrentLine();
    window.JumpToLine(window.Doc().TargetAt(static_cast<std::size_t>(call), 18));
    window.View->ShowLine(window.CurrentLine());
    window.View->verticalScrollBar()->setValue(std::max(0, call - 14));
    return Save(window, file);
}

// The listing window on a source made by a run from the image, with the data
// references of the register operand on the line that holds `text`: the list
// at the side and the popup at the cursor, drawn over the window.
bool SaveReferences(TSourceMaker& maker, const QString& source, const QString& text,
                    const QString& file) {
    TListingWindow window;
    window.SetSourceMaker(&maker);
    window.resize(980, 560);
    if (!window.Open(source) || !window.Studied()) {
        return false;
    }
    window.show();
    QTextCursor cursor = window.View->document()->find(text);
    if (cursor.isNull()) {
        return false;
    }
    // on the operand, the last word of the text
    cursor.setPosition(cursor.selectionEnd() - 1);
    window.View->setTextCursor(cursor);
    window.View->verticalScrollBar()->setValue(std::max(0, cursor.blockNumber() - 12));
    Settle();
    window.DataReferencesAtCursor();
    if (!window.RefPopup->isVisible()) {
        return false;
    }
    Settle();
    QPixmap shot = window.grab();
    QPainter painter(&shot);
    // where the window puts it; a small virtual screen may have pushed it aside
    painter.drawPixmap(
        window.View->viewport()->mapTo(&window, window.View->cursorRect().bottomLeft()),
        window.RefPopup->grab());
    painter.end();
    window.RefPopup->hide();
    return shot.save(file, "PNG");
}

// The listing window on a source whose symbol file holds comments on words.
bool SaveComments(const QString& source, const QString& file) {
    TListingWindow window;
    window.resize(980, 560);
    if (!window.Open(source) || window.Comments().empty()) {
        return false;
    }
    window.show();
    window.GoTo(QStringLiteral("0008"));
    window.View->verticalScrollBar()->setValue(std::max(0, window.CurrentLine() - 14));
    return Save(window, file);
}

// The graph window on the function at the address, and on the call graph.
bool SaveGraphs(const QString& path, const QString& address, const QString& functionFile,
                const QString& callsFile) {
    TListingWindow window;
    window.resize(980, 560);
    if (!window.Open(path)) {
        return false;
    }
    window.show();
    window.GoTo(address);
    TGraphWindow graphs(&window);
    graphs.resize(760, 820);
    bool saved = graphs.ShowFunctionAtCursor() && Save(graphs, functionFile);
    graphs.resize(760, 420);
    saved = graphs.ShowCallGraph() && Save(graphs, callsFile) && saved;
    return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvek"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (argc < 2) {
        QTextStream(stderr) << "usage: tolvek_screenshots DIRECTORY [SUFFIX]\n";
        return 2;
    }
    // absolute, since the window moves the current directory
    const QDir out(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    const QString suffix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QTemporaryDir work;
    // the pictures show the window as it first starts, whatever this user chose before
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work.path());
    WriteTextFile(work.filePath("chipdat.txt"), kChipData);
    WriteTextFile(work.filePath("blink.hex"), kBlinkHex);
    WriteTextFile(work.filePath("broken.hex"),
                  ":10000000860183168601831202308A008C010C0857\r\n"
                  ":10001000002286008C0A0A300C06031D072806\r\n"
                  ":00000001FF\r\n");

    auto dialogs = std::make_unique<FakeDialogs>();
    FakeDialogs& fake = *dialogs;
    THelpForm help;
    TDisForm form(&help, std::move(dialogs), work.path(),
                  std::make_unique<TSourceRun>(TOLVEK_DATA_DIR "/"));
    form.show();
    form.LicTimerTimer();
    const int index = form.ComboBox1->findText(QStringLiteral("16F84"));
    form.ComboBox1->setCurrentIndex(index);
    form.ComboBox1Change();
    form.StartButMouseMove();
    form.FormMouseMove();
    bool saved = Save(form, out.filePath("window-idle" + suffix + ".png"));

    // Halfway through the building pass, as the user sees it while the bar moves.
    QPixmap running;
    QObject::connect(form.PB, &QProgressBar::valueChanged, &form, [&](int value) {
        if (running.isNull() && value * 2 >= form.PB->maximum()) {
            running = form.grab();
        }
    });
    fake.files.push_back(work.filePath("blink.hex"));
    form.OpenButClick();
    form.StartButMouseMove();
    form.StartButClick();
    saved = running.save(out.filePath("window-running" + suffix + ".png"), "PNG") && saved;
    form.OpenButMouseMove();
    saved = Save(form, out.filePath("window-success" + suffix + ".png")) && saved;

    fake.files.push_back(work.filePath("broken.hex"));
    form.OpenButClick();
    form.StartButClick();
    form.FormMouseMove();
    saved = Save(form, out.filePath("window-record-error" + suffix + ".png")) && saved;

    WriteTextFile(work.filePath("modern.hex"), kInhx32Hex);
    fake.files.push_back(work.filePath("modern.hex"));
    form.OpenButClick();
    form.StartButClick();
    saved = Save(form, out.filePath("window-inhx32-hint" + suffix + ".png")) && saved;
    form.Hx32RB->setChecked(true);
    fake.files.push_back(work.filePath("modern.hex"));
    form.OpenButClick();
    form.StartButClick();
    saved = Save(form, out.filePath("window-inhx32" + suffix + ".png")) && saved;

    // the reconstructed source of the same file, ready to be shown
    form.hxmRB->setChecked(true);
    form.AsmRB->setChecked(true);
    form.ComboBox1->setCurrentIndex(form.ComboBox1->findText(QStringLiteral("16F84A")));
    form.ComboBox1Change();
    fake.files.push_back(work.filePath("blink.hex"));
    form.OpenButClick();
    form.StartButClick();
    form.FormMouseMove();
    saved = Save(form, out.filePath("window-source" + suffix + ".png")) && saved;

    // the same source with comments of the user's, from its symbol file
    const QString commented = work.filePath("commented");
    QDir().mkpath(commented);
    QFile::copy(work.filePath("blink.asm"), commented + "/blink.asm");
    WriteTextFile(commented + "/blink.tolvek.sym",
                  "# tolvek symbol file\n"
                  "comment 0x0006 start again from the first digit\n"
                  "comment 0x0008 the segments that show the digit\n"
                  "comment 0x000B ten digits\n"
                  "comment 0x0200 the pattern of each digit\n");

    help.show();
    saved = Save(help, out.filePath("help" + suffix + ".png")) && saved;
    help.Memo1->verticalScrollBar()->setValue(help.Memo1->verticalScrollBar()->maximum());
    saved = Save(help, out.filePath("help-chip-data" + suffix + ".png")) && saved;

    const QString source = QString::fromLocal8Bit(TOLVEK_TEST_DATA "/browse/blink.asm");
    const QString graphSource = QString::fromLocal8Bit(TOLVEK_TEST_DATA "/browse/graphs.asm");
    TSourceRun maker(TOLVEK_DATA_DIR "/");
    const QString made = work.filePath("blink.asm");
    for (const char* theme : {"light", "dark"}) {
        if (std::string_view(theme) == "dark") {
            QApplication::setPalette(DarkPalette());
        }
        auto file = [&](const char* name) {
            return out.filePath(QString::fromLatin1(name) + "-" + QString::fromLatin1(theme) +
                                suffix + ".png");
        };
        saved = SaveListing(source, file("listing")) && saved;
        saved = SaveGraphs(graphSource, QStringLiteral("main"), file("graph-function"),
                           file("graph-calls")) &&
                saved;
        saved =
            SaveReferences(maker, made, QStringLiteral("incf    ram_00C"), file("references")) &&
            saved;
        saved = SaveComments(commented + "/blink.asm", file("comments")) && saved;
    }
    return saved ? 0 : 1;
}
