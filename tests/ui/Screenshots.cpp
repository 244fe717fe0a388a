// Renders the window after start-up, after a successful run, after a record
// error, after an INHX32 file was run as INHX8M and then as INHX32, and the
// help window, as PNG files in the directory given.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTextStream>
#include <QThread>
#include <memory>

#include "tests/ui/TestFiles.h"
#include "ui/Dis.h"
#include "ui/Dishp.h"

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
    WriteTextFile(work.filePath("chipdat.txt"), kChipData);
    WriteTextFile(work.filePath("blink.hex"), kBlinkHex);
    WriteTextFile(work.filePath("broken.hex"),
                  ":10000000860183168601831202308A008C010C0857\r\n"
                  ":10001000002286008C0A0A300C06031D072806\r\n"
                  ":00000001FF\r\n");

    auto dialogs = std::make_unique<FakeDialogs>();
    FakeDialogs& fake = *dialogs;
    THelpForm help;
    TDisForm form(&help, std::move(dialogs), work.path());
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

    help.show();
    saved = Save(help, out.filePath("help" + suffix + ".png")) && saved;
    help.Memo1->verticalScrollBar()->setValue(help.Memo1->verticalScrollBar()->maximum());
    saved = Save(help, out.filePath("help-chip-data" + suffix + ".png")) && saved;
    return saved ? 0 : 1;
}
