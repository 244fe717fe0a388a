// Renders the window after start-up, after a successful run, after a record
// error, after an INHX32 file was run as INHX8M and then as INHX32, after a
// source run, the help window, and the listing window in a light and a dark
// palette, as PNG files in the directory given.
#include <QApplication>
#include <QComboBox>
#include <QDir>
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

#include "tests/ui/TestFiles.h"
#include "ui/Dis.h"
#include "ui/Dishp.h"
#include "ui/GraphView.h"
#include "ui/GraphWindow.h"
#include "ui/ListingView.h"
#include "ui/ListingWindow.h"
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

    help.show();
    saved = Save(help, out.filePath("help" + suffix + ".png")) && saved;
    help.Memo1->verticalScrollBar()->setValue(help.Memo1->verticalScrollBar()->maximum());
    saved = Save(help, out.filePath("help-chip-data" + suffix + ".png")) && saved;

    const QString source = QString::fromLocal8Bit(TOLVEK_TEST_DATA "/browse/blink.asm");
    const QString graphSource = QString::fromLocal8Bit(TOLVEK_TEST_DATA "/browse/graphs.asm");
    saved = SaveListing(source, out.filePath("listing-light" + suffix + ".png")) && saved;
    saved = SaveGraphs(graphSource, QStringLiteral("main"),
                       out.filePath("graph-function-light" + suffix + ".png"),
                       out.filePath("graph-calls-light" + suffix + ".png")) &&
            saved;
    QApplication::setPalette(DarkPalette());
    saved = SaveListing(source, out.filePath("listing-dark" + suffix + ".png")) && saved;
    saved = SaveGraphs(graphSource, QStringLiteral("main"),
                       out.filePath("graph-function-dark" + suffix + ".png"),
                       out.filePath("graph-calls-dark" + suffix + ".png")) &&
            saved;
    return saved ? 0 : 1;
}
