// The main window's output row: the choice of listing or source with its chip
// list, the remembered choices, and the way from a run to the listing window.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <optional>

#include "tests/ui/TestFiles.h"
#include "ui/Dis.h"
#include "ui/Dishp.h"
#include "ui/ListingView.h"
#include "ui/ListingWindow.h"
#include "ui/SourceRun.h"

namespace {

// Stands for the source run: writes a fixed source beside the input.
class FakeSourceMaker : public TSourceMaker {
  public:
    std::vector<TSourceRequest> requests;

    std::vector<std::string> Parts(std::string& /*error*/) override {
        return {"16F84A", "16F877A", "16F1847"};
    }
    TSourceResult Make(const TSourceRequest& request) override {
        requests.push_back(request);
        TSourceResult result;
        result.outputFile = request.input.substr(0, request.input.rfind('.')) + ".asm";
        QFile::remove(QString::fromStdString(result.outputFile));
        result.written = QFile::copy(QStringLiteral(TOLVEK_TEST_DATA "/browse/blink.asm"),
                                     QString::fromStdString(result.outputFile));
        result.status = result.written ? "blink.asm: 27 program words" : "cannot write";
        return result;
    }
};

}  // namespace

class OutputTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir settings_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<THelpForm> help_;
    std::unique_ptr<TDisForm> form_;
    FakeDialogs* dialogs_ = nullptr;
    FakeSourceMaker* maker_ = nullptr;

    QString Path(const QString& name) const { return dir_->filePath(name); }

    // A window whose program directory holds the test chip data and blink.hex,
    // with the fake source maker (none when withSource is false); each window
    // of a test shares the directory, as runs of one installed program do.
    void MakeForm(bool withSource = true) {
        MakeForm(withSource ? std::make_unique<FakeSourceMaker>() : nullptr);
    }

    // A window with the real source run, the Source output chosen, and these
    // files beside blink.hex.
    void MakeSourceForm(const std::vector<std::pair<QString, QByteArray>>& files) {
        MakeForm(std::make_unique<TSourceRun>(std::string(TOLVEK_DATA_DIR) + "/"));
        for (const auto& [name, bytes] : files) {
            WriteTextFile(Path(name), bytes);
        }
        form_->AsmRB->setChecked(true);
    }

    void MakeForm(std::unique_ptr<TSourceMaker> maker) {
        form_.reset();
        if (!dir_) {
            dir_ = std::make_unique<QTemporaryDir>();
            WriteTextFile(Path("chipdat.txt"), kChipData);
            WriteTextFile(Path("blink.hex"), kBlinkHex);
        }
        auto dialogs = std::make_unique<FakeDialogs>();
        dialogs_ = dialogs.get();
        maker_ = dynamic_cast<FakeSourceMaker*>(maker.get());
        help_ = std::make_unique<THelpForm>();
        form_ = std::make_unique<TDisForm>(help_.get(), std::move(dialogs), dir_->path(),
                                           std::move(maker));
        form_->LicTimerTimer();
    }

    // Opens the file through the dialog and starts a run on it.
    void OpenAndStart(const QString& name) {
        dialogs_->files.push_back(Path(name));
        form_->OpenButClick();
        form_->StartButClick();
    }

    QStringList Chips() const {
        QStringList names;
        for (int i = 0; i < form_->ComboBox1->count(); ++i) {
            names << form_->ComboBox1->itemText(i);
        }
        return names;
    }

    void Choose(const QString& chip) {
        form_->ComboBox1->setCurrentIndex(form_->ComboBox1->findText(chip));
        form_->ComboBox1Change();
    }

  private slots:
    void initTestCase() {
        QApplication::setApplicationName("Tolvek");
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(settings_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    }
    void init() { QSettings(QStringLiteral("Tolvek"), QStringLiteral("Tolvek")).clear(); }
    void cleanup() {
        form_.reset();
        help_.reset();
        dir_.reset();
    }

    void theOutputChoosesTheChipListAndIsRememberedWithFormatAndFolder() {
        MakeForm();
        QVERIFY(form_->DisRB->isChecked());
        QCOMPARE(Chips(), (QStringList{"12C508", "16F84"}));
        Choose(QStringLiteral("16F84"));
        form_->AsmRB->setChecked(true);
        QCOMPARE(Chips(), (QStringList{"16F84A", "16F877A", "16F1847"}));
        Choose(QStringLiteral("16F877A"));
        form_->DisRB->setChecked(true);  // each list keeps its choice
        QCOMPARE(form_->ComboBox1->currentText(), QStringLiteral("16F84"));
        QCOMPARE(form_->Chip.ChipInfo.empty(), false);
        form_->AsmRB->setChecked(true);
        QCOMPARE(form_->ComboBox1->currentText(), QStringLiteral("16F877A"));
        form_->HxsRB->setChecked(true);
        dialogs_->files.push_back(Path("blink.hex"));
        form_->hxmRB->setChecked(true);
        form_->OpenButClick();
        QCOMPARE(form_->FileLabel->text(), QStringLiteral("Disassemble Filename: .../blink.asm"));
        form_->DisRB->setChecked(true);
        QCOMPARE(form_->FileLabel->text(), QStringLiteral("Disassemble Filename: .../blink.dis"));
        form_->AsmRB->setChecked(true);
        form_->Hx32RB->setChecked(true);

        MakeForm();  // the next session
        QVERIFY(form_->AsmRB->isChecked());
        QVERIFY(form_->Hx32RB->isChecked());
        QCOMPARE(form_->ComboBox1->currentText(), QStringLiteral("16F877A"));
        QCOMPARE(RememberedFolder(), QFileInfo(Path("blink.hex")).absolutePath());

        // a window without a source run offers the listing only
        MakeForm(false);
        QVERIFY(form_->DisRB->isChecked());
        QVERIFY(!form_->AsmRB->isEnabled());
        QCOMPARE(Chips(), (QStringList{"12C508", "16F84"}));
    }

    // The box keeps its fixed width; its open list shows every name whole.
    void theOpenChipListShowsTheLongestNamesWhole() {
        MakeForm();
        for (QRadioButton* output : {form_->DisRB, form_->AsmRB}) {
            output->setChecked(true);
            QAbstractItemView* view = form_->ComboBox1->view();
            const QFontMetrics metrics(view->font());
            for (int i = 0; i < form_->ComboBox1->count(); ++i) {
                QVERIFY(view->minimumWidth() >
                        metrics.horizontalAdvance(form_->ComboBox1->itemText(i)));
            }
            QCOMPARE(form_->ComboBox1->width(), 93);
        }
    }

    void aSuccessfulRunOffersItsListing() {
        MakeForm();
        QVERIFY(!form_->ShowBut->isEnabled());
        Choose(QStringLiteral("16F84"));
        OpenAndStart("blink.hex");
        QVERIFY(form_->ShowBut->isEnabled());
        QCOMPARE(form_->ShowBut->text(), QStringLiteral("Show Listing"));
        QTest::mouseClick(form_->ShowBut, Qt::LeftButton);
        TListingWindow* window = form_->ListingWindow();
        QVERIFY(window->isVisible());
        QCOMPARE(window->FilePath(), QFileInfo(Path("blink.dis")).absoluteFilePath());
        QCOMPARE(window->Doc().Labels().size(), std::size_t{3});

        // the source output runs the source maker on the chosen part
        form_->AsmRB->setChecked(true);
        Choose(QStringLiteral("16F84A"));
        OpenAndStart("blink.hex");
        QCOMPARE(maker_->requests.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(maker_->requests[0].input), Path("blink.hex"));
        QCOMPARE(maker_->requests[0].part, std::string("16F84A"));
        QCOMPARE(form_->StatusLabel->text(), QStringLiteral("blink.asm: 27 program words"));
        QVERIFY(!form_->StartBut->isEnabled());
        QCOMPARE(form_->ShowBut->text(), QStringLiteral("Show Source"));
        form_->ShowButClick();
        QCOMPARE(window->FilePath(), QFileInfo(Path("blink.asm")).absoluteFilePath());
        QCOMPARE(window->Doc().GetFormat(), tolvek::browse::Format::Source);

        // closing the main window takes the listing window with it
        form_->close();
        QVERIFY(form_->ListingWindow() != window || !window->isVisible());
    }

    void keysTabOrderAndShowFollowTheWork() {
        MakeForm();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        Choose(QStringLiteral("16F84"));
        dialogs_->files.push_back(Path("blink.hex"));
        QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);  // Ctrl+O opens
        QCOMPARE(dialogs_->opened.size(), std::size_t{1});
        QVERIFY(form_->StartBut->hasFocus());
        QTest::keyClick(form_->StartBut, Qt::Key_Return);  // Enter presses it
        QVERIFY(form_->ShowBut->isEnabled());
        QVERIFY(form_->ShowBut->hasFocus());
        form_->AsmRB->setChecked(true);  // another output: nothing of it to show yet
        QVERIFY(!form_->ShowBut->isEnabled());
        form_->DisRB->setChecked(true);
        // a failed run leaves nothing to show, and the focus on Open
        WriteTextFile(Path("bad.hex"), ":10000000860183168601831202308A00\r\n");
        OpenAndStart("bad.hex");
        QVERIFY(!form_->ShowBut->isEnabled());
        QVERIFY(form_->OpenBut->hasFocus());
        QTest::keyClick(form_.get(), Qt::Key_F1);
        QCOMPARE(dialogs_->modal.size(), std::size_t{1});
        // Tab: format, file, chip, output, start
        form_->hxmRB->setFocus();
        for (QWidget* next :
             {static_cast<QWidget*>(form_->OpenBut), static_cast<QWidget*>(form_->ComboBox1),
              static_cast<QWidget*>(form_->DisRB)}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    // Show Listing cannot be pressed after a failed run, and its text says so:
    // the darkest ink inside the button (its letters) is grey, not black.
    void aButtonThatCannotBePressedLooksSo() {
        MakeForm();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        Choose(QStringLiteral("16F84"));
        auto darkest = [this] {
            const QImage image = form_->ShowBut->grab().toImage();
            const QRect inside = image.rect().adjusted(4, 4, -4, -4);
            int least = 255;
            for (int y = inside.top(); y <= inside.bottom(); ++y) {
                for (int x = inside.left(); x <= inside.right(); ++x) {
                    least = std::min(least, qGray(image.pixel(x, y)));
                }
            }
            return least;
        };
        OpenAndStart("blink.hex");
        QVERIFY(form_->ShowBut->isEnabled());
        const int enabled = darkest();
        WriteTextFile(Path("bad.hex"), ":10000000860183168601831202308A00\r\n");
        OpenAndStart("bad.hex");
        QVERIFY(!form_->ShowBut->isEnabled());
        const int disabled = darkest();
        QVERIFY2(enabled < 64 && disabled > enabled + 64,
                 qPrintable(QStringLiteral("enabled %1, disabled %2").arg(enabled).arg(disabled)));
    }

    // The real source run beside a source of the user's: asked, and written
    // only where the user says.
    void theUsersOwnSourceIsReplacedOnlyWhenTheUserSays() {
        const QByteArray mine = "; my own blink\n        processor 16f84a\n        end\n";
        MakeSourceForm({{QStringLiteral("blink.asm"), mine}});
        Choose(QStringLiteral("16F84A"));
        const auto run = [this](std::optional<TReplaceAnswer> answer) {
            if (answer) {
                dialogs_->replaceAnswers.push_back(*answer);
            }
            dialogs_->askedToReplace.clear();
            OpenAndStart("blink.hex");
        };
        const auto read = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };

        run(TReplaceAnswer::kCancel);
        QCOMPARE(dialogs_->askedToReplace, std::vector<QString>{Path("blink.asm")});
        QCOMPARE(read(Path("blink.asm")), mine);
        QVERIFY(form_->StatusLabel->text().contains(QStringLiteral("not written by Tolvek")));
        QVERIFY(!form_->ShowBut->isEnabled());

        dialogs_->saveFiles.push_back(Path("blink-tolvek.asm"));
        run(TReplaceAnswer::kSaveAs);
        QCOMPARE(read(Path("blink.asm")), mine);
        QVERIFY(read(Path("blink-tolvek.asm")).startsWith("; Source reconstructed by tolvek"));
        QVERIFY(form_->ShowBut->isEnabled());
        QCOMPARE(form_->ResultFileName, QFileInfo(Path("blink-tolvek.asm")).absoluteFilePath());

        run(TReplaceAnswer::kReplace);
        QVERIFY(read(Path("blink.asm")).startsWith("; Source reconstructed by tolvek"));
        // now Tolvek's: replaced without a question
        run(std::nullopt);
        QVERIFY(dialogs_->askedToReplace.empty());
        QVERIFY2(form_->StatusLabel->text().startsWith(QStringLiteral("[OK]")),
                 qPrintable(form_->StatusLabel->text()));
    }

    // The whole way with the real source run: run, show, rename, run again.
    void renamesInTheListingWindowComeBackFromTheNextRun() {
        MakeSourceForm({});
        QVERIFY(form_->ComboBox1->count() > 100);
        Choose(QStringLiteral("16F84A"));
        OpenAndStart("blink.hex");
        QVERIFY2(form_->StatusLabel->text().startsWith(QStringLiteral("[OK]")),
                 qPrintable(form_->StatusLabel->text()));
        form_->ShowButClick();
        TListingWindow* window = form_->ListingWindow();
        QCOMPARE(window->FilePath(), QFileInfo(Path("blink.asm")).absoluteFilePath());
        const auto lineWith = [window](const char* text) {
            for (std::size_t i = 0; i < window->Doc().LineCount(); ++i) {
                if (window->Doc().Line(i).find(text) != std::string_view::npos) {
                    return static_cast<int>(i);
                }
            }
            return -1;
        };
        const int function = window->Doc().FindLabel("function_0200");
        QVERIFY(function >= 0);
        QString error;
        QVERIFY2(window->Rename(static_cast<int>(window->Doc().Labels()[function].line), 1,
                                QStringLiteral("digits"), &error),
                 qPrintable(error));
        const int clrf = lineWith("clrf    ram_00C");
        QVERIFY(clrf >= 0);
        QVERIFY2(window->Rename(clrf, 17, QStringLiteral("counter"), &error), qPrintable(error));
        const std::string shown = window->Doc().Text();

        OpenAndStart("blink.hex");  // reads blink.tolvek.sym beside the input
        QVERIFY2(form_->StatusLabel->text().startsWith(QStringLiteral("[OK]")),
                 qPrintable(form_->StatusLabel->text()));
        QFile written(Path("blink.asm"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().toStdString(), shown);
    }

    void listingsOpenFromDisk() {
        MakeForm();
        WriteTextFile(Path("other.dis"),
                      ";\n; ******* Quorvel *******\n;\n         LIST   P=PIC16F84\n"
                      "            ORG 0000h\nad0000      GOTO ad0000\n            end\n");
        dialogs_->files.push_back(Path("other.dis"));
        form_->BrowseButClick();
        QCOMPARE(dialogs_->opened.back().Title, QStringLiteral("Open Listing"));
        QCOMPARE(form_->ListingWindow()->FilePath(), Path("other.dis"));
        QVERIFY(form_->ListingWindow()->isVisible());
        dialogs_->files.push_back(Path("none.asm"));
        form_->BrowseButClick();
        QCOMPARE(dialogs_->errors.size(), std::size_t{1});
        QVERIFY(dialogs_->errors.back().second.contains(QStringLiteral("none.asm")));
    }
};

QTEST_MAIN(OutputTest)
#include "OutputTest.moc"
