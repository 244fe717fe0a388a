// The main window's states, guards and handlers, driven on the offscreen platform.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "run/Record.h"
#include "tests/ui/TestFiles.h"
#include "ui/Dis.h"
#include "ui/Dishp.h"

namespace {

bool IsRed(const QLabel* label) {
    return label->palette().color(QPalette::WindowText) != QColor(Qt::black);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class DisFormTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir settings_;  // the choices the window remembers stay in here
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<THelpForm> help_;
    std::unique_ptr<TDisForm> form_;
    FakeDialogs* dialogs_ = nullptr;

    QString Path(const QString& name) const { return dir_->filePath(name); }

    // A window whose program directory holds the given chip data (none when null).
    void MakeForm(const QByteArray* chipData = &kChipData) {
        form_.reset();
        help_.reset();
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        if (chipData != nullptr) {
            WriteTextFile(Path("chipdat.txt"), *chipData);
        }
        auto dialogs = std::make_unique<FakeDialogs>();
        dialogs_ = dialogs.get();
        help_ = std::make_unique<THelpForm>();
        form_ = std::make_unique<TDisForm>(help_.get(), std::move(dialogs), dir_->path());
    }

    void SelectChip(const QString& name) {
        const int index = form_->ComboBox1->findText(name);
        QVERIFY(index >= 0);
        form_->ComboBox1->setCurrentIndex(index);
        form_->ComboBox1Change();
    }

    // Opens a file through the dialog in the given format (INHX8M when none).
    void Open(const QString& path, QRadioButton* format = nullptr) {
        (format != nullptr ? format : form_->hxmRB)->setChecked(true);
        dialogs_->files.push_back(path);
        form_->OpenButClick();
    }

    // Writes the file into the directory and opens it.
    void OpenNew(const QString& name, const QByteArray& bytes = kBlinkHex,
                 QRadioButton* format = nullptr) {
        WriteTextFile(Path(name), bytes);
        Open(Path(name), format);
    }

  private slots:
    void initTestCase() {
        QApplication::setApplicationName("Tolvek");
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(settings_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    }
    void init() {
        QSettings(QStringLiteral("Tolvek"), QStringLiteral("Tolvek")).clear();
        MakeForm();
    }
    void cleanup() {
        form_.reset();
        help_.reset();
        dir_.reset();
    }

    void startingStateMatchesTheToolWindow() {
        TDisForm& form = *form_;
        QCOMPARE(form.windowTitle(), QString("12x 16x Series Disassembler"));
        QCOMPARE(form.size(), QSize(543, 291));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QCOMPARE(QDir::current().canonicalPath(), QDir(dir_->path()).canonicalPath());
        QVERIFY(form.StatusLabel->text().isEmpty());
        QVERIFY(form.StatusLabel->font().bold());
        QVERIFY(form.FileLabel->text().isEmpty());
        QCOMPARE(form.RadioGroup1->title(), QString("Format"));
        QCOMPARE(form.hxmRB->text(), QString("INHX8M"));
        QCOMPARE(form.HxsRB->text(), QString("INHX8S"));
        QCOMPARE(form.Hx32RB->text(), QString("INHX32"));
        QVERIFY(form.hxmRB->isChecked());
        QVERIFY(!form.ComboBox1->isEditable());
        QCOMPARE(form.ComboBox1->count(), 0);
        QCOMPARE(form.PB->minimum(), 0);
        QCOMPARE(form.PB->maximum(), 100);
        QCOMPARE(form.PB->value(), 0);
        QVERIFY(!form.StartBut->isEnabled());
        QVERIFY(form.OpenBut->isEnabled());
        QVERIFY(form.OpenBut->text().isEmpty());
        QVERIFY(form.ErrPan->isHidden());
        QVERIFY(form.LineData->isHidden());
        QVERIFY(form.HeadMemo->isHidden());
        QVERIFY(form.LicTimer->isActive());
        QVERIFY(form.LicTimer->isSingleShot());
        QCOMPARE(form.LicTimer->interval(), 1000);
        QVERIFY(!form.Job.FileReady);
        QVERIFY(!form.Job.Busy);
        QVERIFY(!form.Chip.Core12Bit);
        QCOMPARE(form.Chip.RomPages, 1);
        const std::vector<QLabel*> legend = form.LegendLabels();
        for (std::size_t i = 0; i < legend.size(); ++i) {
            QCOMPARE(legend[i]->text(), QString(tolvek::kLegendTexts[i]));
            QVERIFY(legend[i]->font().bold());
            QVERIFY(!IsRed(legend[i]));
        }
        QVERIFY(IsRed(form.LineLab));
    }

    void startUpTimerFiresOnceAndFillsTheSortedChipList() {
        form_->StatusPrimed = true;
        QTRY_VERIFY_WITH_TIMEOUT(form_->ComboBox1->count() > 0, 5000);
        QVERIFY(!form_->LicTimer->isActive());
        QVERIFY(!form_->StatusPrimed);
        QCOMPARE(form_->ComboBox1->itemText(0), QString("12C508"));
        QCOMPARE(form_->ComboBox1->itemText(1), QString("16F84"));
        QCOMPARE(form_->ComboBox1->currentText(), QString("12C508"));
        QCOMPARE(form_->Chip.ChipName, std::string("12C508"));
        QVERIFY(form_->Chip.Core12Bit);
        QVERIFY(form_->Chip.Series12);
        QVERIFY(dialogs_->errors.empty());
    }

    void missingChipDataLeavesTheListEmptyWithoutAMessage() {
        MakeForm(nullptr);
        form_->LicTimerTimer();
        QCOMPARE(form_->ComboBox1->count(), 0);
        QVERIFY(dialogs_->errors.empty());
        QVERIFY(!form_->Chip.Core12Bit);
        QCOMPARE(form_->Chip.RomPages, 1);
    }

    void choosingAChipRereadsItsParameters() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        form_->LicTimerTimer();
        form_->ComboBox1->setFocus();
        SelectChip("16F84");
        QCOMPARE(QApplication::focusWidget(), form_->hxmRB);
        QVERIFY(!form_->Chip.Core12Bit);
        QVERIFY(!form_->Chip.Series12);
        QCOMPARE(form_->Chip.ChipInfo.front(), std::string("<False,1>"));
    }

    void typingSelectsTheFirstChipStartingSo_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chip");
        QTest::newRow("no chip starts so") << QString("z") << QString("12C508");
        QTest::newRow("a whole prefix") << QString("16F") << QString("16F84");
        QTest::newRow("letter case is free") << QString("16c") << QString("16C54");
        QTest::newRow("punctuation") << QString("[") << QString("12C508");
    }
    void typingSelectsTheFirstChipStartingSo() {
        QFETCH(QString, typed);
        QFETCH(QString, chip);
        const QByteArray chipData = kChipData +
                                    "[16C54]\r\n<True,1>\r\n#0,INDF;0\r\n%INDF,A\r\n"
                                    "more\r\n[ <, don't put anything past here\r\n";
        MakeForm(&chipData);
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        form_->LicTimerTimer();
        form_->ComboBox1->setFocus();
        QTest::keyClicks(form_->ComboBox1, typed);
        QCOMPARE(form_->ComboBox1->currentText(), chip);
        QCOMPARE(form_->Chip.ChipName, chip.toStdString());
        QVERIFY(!form_->ComboBox1->isEditable());
        QCOMPARE(QApplication::focusWidget(), form_->ComboBox1);  // typing can go on
        // The arrow keys still choose from the list.
        QTest::keyClick(form_->ComboBox1, Qt::Key_Up);
        QTest::keyClick(form_->ComboBox1, Qt::Key_Down);
        QCOMPARE(form_->Chip.ChipName, form_->ComboBox1->currentText().toStdString());
        // The popup opens on the current chip, highlighted.
        form_->ComboBox1->showPopup();
        const QAbstractItemView* view = form_->ComboBox1->view();
        QCOMPARE(view->currentIndex().row(), form_->ComboBox1->currentIndex());
        QVERIFY(view->selectionModel()->isSelected(view->currentIndex()));
        form_->ComboBox1->hidePopup();
    }

    void faultyChipDataIsReportedInErrorBoxes_data() {
        QTest::addColumn<QByteArray>("chipData");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad parameter line")
            << QByteArray("[16X]\n<Maybe,2>\n#0,A;0\n%A,B\nmore\n[end\n")
            << QString(
                   "Missing or incorrect <ROM - 5X> information in [chipdat.txt] data file.\n"
                   "Using default - <False,1>");
        QTest::newRow("too few lines")
            << QByteArray("[16X]\n<False,1>\n#0,A;0\n[end\n")
            << QString("Insufficient information in [chipdat.txt] data file for this device.");
        QTest::newRow("unclosed section")
            << QByteArray("[16X]\n<False,1>\n#0,A;0\n%A,B\n")
            << QString("There was a problem with the [chipdat.txt] data file.");
    }
    void faultyChipDataIsReportedInErrorBoxes() {
        QFETCH(QByteArray, chipData);
        QFETCH(QString, message);
        MakeForm(&chipData);
        form_->LicTimerTimer();
        QCOMPARE(dialogs_->errors.size(), std::size_t{1});
        QCOMPARE(dialogs_->errors[0].first, QString("Error"));
        QCOMPARE(dialogs_->errors[0].second, message);
        // Faulty chip data never blocks a run.
        OpenNew("blink.hex");
        form_->StartButClick();
        QVERIFY(form_->StatusLabel->text().startsWith("[OK]:  "));
    }

    void openDialogIsPreparedForTheChosenFormat_data() {
        QTest::addColumn<int>("format");  // 0 INHX8M, 1 INHX8S, 2 INHX32
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QString>("initialName");
        const QStringList hex = {"Hex Files (*.hex)", "*.hex", "Obj Files (*.obj)", "*.obj",
                                 "All Files (*.*)",   "*"};
        QTest::newRow("INHX8M") << 0 << "Open INHX8M File" << hex << "*.hex";
        QTest::newRow("INHX8S") << 1 << "Open INHX8S File"
                                << QStringList{"Hex Files (*.hxl)", "*.hxl",
                                               "Obj Files (*.obl)", "*.obl",
                                               "All Files (*.*)",   "*"}
                                << "*.hxl";
        QTest::newRow("INHX32") << 2 << "Open INHX8M File" << hex << "*.hex";
    }
    void openDialogIsPreparedForTheChosenFormat() {
        QFETCH(int, format);
        QFETCH(QString, title);
        QFETCH(QStringList, filters);
        QFETCH(QString, initialName);
        (format == 0 ? form_->hxmRB : format == 1 ? form_->HxsRB : form_->Hx32RB)->setChecked(true);
        dialogs_->files.push_back(QString());
        form_->OpenButClick();
        QCOMPARE(dialogs_->opened.size(), std::size_t{1});
        const TOpenDialog& dialog = dialogs_->opened[0];
        QCOMPARE(dialog.Title, title);
        QStringList got;
        for (const auto& [text, pattern] : dialog.Filter) {
            got << text << pattern;
        }
        QCOMPARE(got, filters);
        QCOMPARE(dialog.FileName, initialName);
    }

    // "All Files (*.*)" lists names without a dot too, as chosen in the dialog.
    void allFilesMatchesEveryFile() {
        WriteTextFile(Path("blink.hex"), kBlinkHex);
        WriteTextFile(Path("prog"), kBlinkHex);
        dialogs_->files.push_back(QString());
        form_->OpenButClick();
        QFileDialog dialog;
        SetFileFilters(dialog, dialogs_->opened.at(0).Filter);
        dialog.setDirectory(dir_->path());
        dialog.show();
        const auto shown = [&dialog] {
            const auto* view = dialog.findChild<QListView*>("listView");
            QStringList names;
            for (int row = 0; view != nullptr && row < view->model()->rowCount(view->rootIndex());
                 ++row) {
                names << view->model()->index(row, 0, view->rootIndex()).data().toString();
            }
            names.sort();
            return names;
        };
        QTRY_COMPARE(shown(), QStringList{"blink.hex"});
        auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
        QVERIFY(types != nullptr);
        types->setFocus();
        QTest::keyClick(types, Qt::Key_End);  // as a user picks the last entry
        QCOMPARE(types->currentText(), QString("All Files (*.*)"));
        QTRY_COMPARE(shown(), (QStringList{"blink.hex", "chipdat.txt", "prog"}));
    }

    void cancellingTheDialogOnlyRestsTheOpenPicture() {
        OpenNew("blink.hex");
        form_->OpenButMouseMove();
        QVERIFY(form_->OpenBut->HoverPictureShown());
        const QString status = form_->StatusLabel->text();
        const QString file = form_->FileLabel->text();
        dialogs_->files.push_back(QString());
        form_->OpenButClick();
        QVERIFY(!form_->OpenBut->HoverPictureShown());
        QVERIFY(form_->Job.FileReady);
        QVERIFY(form_->StartBut->isEnabled());
        QCOMPARE(form_->StatusLabel->text(), status);
        QCOMPARE(form_->FileLabel->text(), file);
        // Start still reads the file opened before.
        form_->StartButClick();
        QCOMPARE(form_->StatusLabel->text(),
                 QString("[OK]:  4 records disassembled successfully."));
        QVERIFY(QFile::exists(Path("blink.dis")));
    }

    void openingAFileMakesTheWindowReady() {
        OpenNew("blink.hex");
        QVERIFY(form_->Job.FileReady);
        QVERIFY(form_->StartBut->isEnabled());
        QCOMPARE(form_->FileLabel->text(), QString("Disassemble Filename: .../blink.dis"));
        QCOMPARE(form_->FileLabel->toolTip(), Path("blink.dis"));
        QCOMPARE(form_->StatusLabel->text(), QString("Waiting for Start"));
        QVERIFY(!IsRed(form_->StatusLabel));

        // A long name is shortened in the middle, on one line beside the Format box.
        const QString name = QString("a-program-with-a-rather-long-name-%1").arg(QString(40, 'x'));
        OpenNew(name + ".hex");
        const QString text = form_->FileLabel->text();
        QVERIFY2(text.startsWith("Disassemble Filename: .../a-") && text.endsWith("x.dis") &&
                     text.contains(QChar(0x2026)),
                 qPrintable(text));
        QVERIFY(!form_->FileLabel->wordWrap());
        QVERIFY(form_->FileLabel->fontMetrics().horizontalAdvance(text) <=
                form_->FileLabel->contentsRect().width());
        QVERIFY(form_->FileLabel->geometry().right() < form_->RadioGroup1->geometry().left());
        QCOMPARE(form_->FileLabel->toolTip(), Path(name + ".dis"));
    }

    // The name is shortened only when it does not fit: a short name and a name
    // that fills the label to the last pixel show whole; one letter more, and a
    // long name, are shortened in the middle and fit.
    void fileLabelShortensOnlyNamesThatDoNotFit() {
        QLabel& label = *form_->FileLabel;
        const QString prefix = QStringLiteral("Disassemble Filename: .../");
        const QFontMetrics metrics = label.fontMetrics();
        const int room = label.contentsRect().width();
        auto width = [&](const QString& base) {
            return metrics.horizontalAdvance(prefix + base + ".dis");
        };
        auto show = [&](const QString& base) {
            OpenNew(base + ".hex");
            return label.text();
        };
        // a name of wide, middling and narrow letters exactly as wide as the label
        QString exact;
        for (int w = 0; w < 40 && exact.isEmpty(); ++w) {
            for (int e = 0; e < 12 && exact.isEmpty(); ++e) {
                for (int i = 0; i < 12 && exact.isEmpty(); ++i) {
                    const QString base = QString(w, 'W') + QString(e, 'e') + QString(i, 'i');
                    if (width(base) == room) {
                        exact = base;
                    }
                }
            }
        }
        QVERIFY2(!exact.isEmpty(), "no name fills the label exactly");
        QCOMPARE(show(QStringLiteral("a")), prefix + "a.dis");
        QCOMPARE(show(exact), prefix + exact + ".dis");
        for (const QString& base : {exact + 'i', exact + QString(40, 'x')}) {
            const QString text = show(base);
            QVERIFY2(text.contains(QChar(0x2026)) && metrics.horizontalAdvance(text) <= room &&
                         text.startsWith(prefix + exact.front()) && text.endsWith("dis"),
                     qPrintable(text));
        }
    }

    // A file of no program words ends the run with an empty bar, not a busy one.
    void runOfNoWordsLeavesTheBarEmpty_data() {
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("only the end record") << QByteArray(":00000001FF\r\n");
        QTest::newRow("only records at 4000h and above")
            << QByteArray(":02400E00F13F80\r\n:00000001FF\r\n");
    }
    void runOfNoWordsLeavesTheBarEmpty() {
        QFETCH(QByteArray, hex);
        OpenNew("empty.hex", hex);
        form_->StartButClick();
        QVERIFY(form_->StatusLabel->text().startsWith("[OK]:  "));
        QVERIFY(form_->PB->maximum() > form_->PB->minimum());
        QCOMPARE(form_->PB->value(), 0);
    }

    void startIsIgnoredUnlessAFileIsReady() {
        form_->StatusLabel->setText("before");
        form_->StartBut->setEnabled(true);
        form_->StartButClick();
        QCOMPARE(form_->StatusLabel->text(), QString("before"));
        QVERIFY(dialogs_->errors.empty());

        OpenNew("blink.hex");
        form_->StartButClick();
        QVERIFY(QFile::remove(Path("blink.dis")));
        const QString result = form_->StatusLabel->text();
        form_->StartButClick();  // a second Start needs another Open
        QVERIFY(!QFile::exists(Path("blink.dis")));
        QCOMPARE(form_->StatusLabel->text(), result);
    }

    void aRunGoesFromReadyThroughRunningBackToIdle() {
        form_->LicTimerTimer();
        SelectChip("16F84");
        OpenNew("blink.hex");
        QVERIFY(form_->Job.FileReady);

        // What the window shows while the building pass moves the bar.
        int steps = 0;
        bool busyThroughout = true;
        bool waitCursor = true;
        QString statusDuringBuild;
        connect(form_->PB, &QProgressBar::valueChanged, form_.get(), [&](int value) {
            if (value == 0) {
                return;
            }
            ++steps;
            busyThroughout = busyThroughout && form_->Job.Busy;
            waitCursor = waitCursor && QApplication::overrideCursor() != nullptr &&
                         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            statusDuringBuild = form_->StatusLabel->text();
        });
        form_->StartButClick();

        QCOMPARE(steps, form_->PB->maximum());
        QCOMPARE(form_->PB->maximum(), 27);  // words in the file, all programmed
        QVERIFY(busyThroughout);
        QVERIFY(waitCursor);
        QCOMPARE(statusDuringBuild, QString("Building file."));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(form_->StatusLabel->text(),
                 QString("[OK]:  4 records disassembled successfully."));
        QVERIFY(!IsRed(form_->StatusLabel));
        QVERIFY(!form_->Job.FileReady);
        QVERIFY(!form_->Job.Busy);
        QVERIFY(!form_->StartBut->isEnabled());
        QCOMPARE(form_->PB->value(), 0);
        QVERIFY(form_->ErrPan->isHidden());
        QVERIFY(form_->LineData->isHidden());

        const QByteArray listing = ReadFile(Path("blink.dis"));
        QVERIFY(listing.contains("ORG 0000h\r\n"));
        QVERIFY(listing.contains("CLRF"));
        QVERIFY(listing.contains("PORTB"));  // named from the chip data
        QVERIFY(listing.endsWith("            end\r\n            ;\r\n"));
        QVERIFY(form_->HeadMemo->toPlainText().contains("16F84"));
    }

    void aSplitPairIsMergedAtOnceAndDisassembled() {
        // Low bytes 0A 0B and high bytes 28 30 at word address 0010: GOTO 00A, GOTO 00B.
        WriteTextFile(Path("pair.hxl"), ":020010000A0BXX\r\n:00000001FF\r\n");
        WriteTextFile(Path("pair.hxh"), ":020010002830XX\r\n:00000001FF\r\n");
        Open(Path("pair.hxl"), form_->HxsRB);
        QCOMPARE(form_->Job.MergedFileName, ToEngineText(Path("pair.dsm")));
        QCOMPARE(ReadFile(Path("pair.dsm")), QByteArray(":040020000A280B30XX\r\n:00000001FF\r\n"));
        QCOMPARE(form_->FileLabel->text(), QString("Disassemble Filename: .../pair.dis"));
        form_->StartButClick();
        QCOMPARE(form_->StatusLabel->text(),
                 QString("[OK]:  1 records disassembled successfully."));
        QVERIFY(ReadFile(Path("pair.dis")).contains("ORG 0010h"));
    }

    void aFailedMergeIsShownOnTheStatusLine_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("partnerIsAFolder");
        QTest::newRow("odd data") << "odd.hxl" << false;
        QTest::newRow("the high-byte file chosen") << "odd.hxh" << false;
        QTest::newRow("partner that cannot be opened") << "odd.hxl" << true;
    }
    void aFailedMergeIsShownOnTheStatusLine() {
        QFETCH(QString, chosen);
        QFETCH(bool, partnerIsAFolder);
        WriteTextFile(Path("odd.hxl"), ":020010000A0BXX\r\n:00000001FF\r\n");
        if (partnerIsAFolder) {
            QVERIFY(QDir(dir_->path()).mkdir("odd.hxh"));
        } else {
            WriteTextFile(Path("odd.hxh"), ":0100100028XX\r\n:00000001FF\r\n");
        }
        Open(Path(chosen), form_->HxsRB);
        QCOMPARE(form_->StatusLabel->text(), QString("[ERROR 10]: INHX8S File Data Error."));
        QVERIFY(!form_->Job.FileReady);
        QVERIFY(form_->FileLabel->text().isEmpty());
        QVERIFY(dialogs_->errors.empty());
        QCOMPARE(QFile::exists(Path("odd.dsm")), chosen == "odd.hxl" && !partnerIsAFolder);
    }

    // Beside the status the panel says what the command line adds: records with a
    // wrong checksum, the enhanced-core hint, and why a pair did not merge.
    void thePanelSaysWhatTheCommandLineAdds_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("wrong checksum")
            << "sum.hex" << QByteArray(":020000000A0BFF\r\n:00000001FF\r\n") << "[OK]"
            << QStringList{"warning: ", "sum.hex LineNumber 0: checksum FF, expected E9"};
        QTest::newRow("enhanced core")
            << "new.hex"
            << QByteArray(
                   ":020000000A0BE9\r\n:020000040001F9\r\n:02000E00FF3FB2\r\n"
                   ":00000001FF\r\n")
            << "[OK]" << QStringList{"enhanced midrange", "8007h"};
        QTest::newRow("high-byte file chosen")
            << "odd.hxh" << QByteArray() << "[ERROR 10]" << QStringList{"odd.hxh", ".hxl"};
        QTest::newRow("partner that cannot be opened")
            << "odd.hxl" << QByteArray() << "[ERROR 10]" << QStringList{"partner", "odd.hxh"};
    }
    void thePanelSaysWhatTheCommandLineAdds() {
        QFETCH(QString, chosen);
        QFETCH(QByteArray, text);
        QFETCH(QString, status);
        QFETCH(QStringList, said);
        if (chosen.endsWith(".hex")) {
            OpenNew(chosen, text, chosen == "new.hex" ? form_->Hx32RB : nullptr);
            form_->StartButClick();
        } else {
            WriteTextFile(Path("odd.hxl"), ":020010000A0BXX\r\n:00000001FF\r\n");
            if (chosen == "odd.hxh") {
                WriteTextFile(Path("odd.hxh"), ":0100100028XX\r\n:00000001FF\r\n");
            }
            Open(Path(chosen), form_->HxsRB);
        }
        QVERIFY2(form_->StatusLabel->text().startsWith(status),
                 qPrintable(form_->StatusLabel->text()));
        QVERIFY(!form_->ErrPan->isHidden());
        QVERIFY(!form_->NotesLabel->isHidden());
        QVERIFY(form_->ColLab->parentWidget()->isHidden());  // no record line to explain
        for (const QString& part : said) {
            QVERIFY2(form_->NotesLabel->toolTip().contains(part),
                     qPrintable(form_->NotesLabel->toolTip()));
        }
        QVERIFY(form_->NotesLabel->geometry().right() < form_->ErrPan->width());

        // the next file starts with a clean panel
        OpenNew("fine.hex", ":020000000A0BE9\r\n:00000001FF\r\n");
        QVERIFY(form_->ErrPan->isHidden());
        QVERIFY(form_->NotesLabel->isHidden());
        form_->StartButClick();
        QVERIFY(form_->NotesLabel->isHidden());
    }

    // A record fault after notes brings the legend back.
    void theLegendReturnsForARecordFault() {
        OpenNew("sum.hex", ":020000000A0BFF\r\n:00000001FF\r\n");
        form_->StartButClick();
        OpenNew("bad.hex", ":020000030000FB\r\n:00000001FF\r\n");
        form_->StartButClick();
        QVERIFY(form_->StatusLabel->text().startsWith("[ERROR 06]"));
        QVERIFY(!form_->ColLab->parentWidget()->isHidden());
        QVERIFY(form_->NotesLabel->isHidden());
    }

    // The listing of a pair named like one of its files never replaces it.
    void aSplitListingNeverReplacesThePair() {
        WriteTextFile(Path("prog.dis"), ":020010000A0BXX\r\n:00000001FF\r\n");
        WriteTextFile(Path("prog.hxh"), ":020010002830XX\r\n:00000001FF\r\n");
        Open(Path("prog.dis"), form_->HxsRB);
        QVERIFY(form_->Job.FileReady);
        form_->StartButClick();
        QCOMPARE(dialogs_->errors.size(), std::size_t{1});
        QVERIFY(dialogs_->errors[0].second.contains("it is the input file"));
        QCOMPARE(ReadFile(Path("prog.dis")), QByteArray(":020010000A0BXX\r\n:00000001FF\r\n"));
    }

    // INHX32 reads what INHX8M stops at; INHX8M then says so beside the line.
    void inhx32ChoiceReadsExtendedAddressRecords() {
        OpenNew("modern.hex", kInhx32Hex);
        form_->StartButClick();
        QCOMPARE(form_->StatusLabel->text(),
                 QString::fromStdString(tolvek::StatusMessage(tolvek::kResultTypeValue, "")));
        QCOMPARE(form_->LineData->text(), QString(":020000040000FA"));
        QVERIFY(!form_->Inhx32Hint->isHidden());
        QVERIFY(form_->Inhx32Hint->text().contains("INHX32"));
        QVERIFY(form_->Inhx32Hint->geometry().left() > form_->LineData->x() - form_->ErrPan->x());
        QVERIFY(form_->Inhx32Hint->geometry().right() < form_->ErrPan->width());

        Open(Path("modern.hex"), form_->Hx32RB);
        form_->StartButClick();
        QVERIFY2(form_->StatusLabel->text().startsWith("[OK]:  "),
                 qPrintable(form_->StatusLabel->text()));
        QVERIFY(form_->Inhx32Hint->isHidden());
        const QByteArray listing = ReadFile(Path("modern.dis"));
        QVERIFY(listing.contains("CLRF"));
        QVERIFY(!listing.contains("Blank"));  // the record past 64K was skipped

        // Another record-type fault in INHX8M gives no such hint.
        OpenNew("other.hex", ":020000030000FB\r\n:00000001FF\r\n");
        form_->StartButClick();
        QVERIFY(form_->StatusLabel->text().startsWith("[ERROR 06]"));
        QVERIFY(form_->Inhx32Hint->isHidden());
    }

    void formatGroupFitsItsThreeChoices() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        const std::vector<QRadioButton*> choices = {form_->hxmRB, form_->HxsRB, form_->Hx32RB};
        for (QRadioButton* choice : choices) {
            QCOMPARE(choice->parentWidget(), form_->RadioGroup1);
            QVERIFY(choice->width() >= choice->sizeHint().width());  // nothing cut
            QVERIFY(choice->height() >= choice->sizeHint().height());
            QVERIFY(form_->RadioGroup1->rect().contains(choice->geometry()));
        }
        // INHX8M and INHX8S side by side, INHX32 under INHX8M
        QCOMPARE(form_->HxsRB->y(), form_->hxmRB->y());
        QVERIFY(form_->HxsRB->x() > form_->hxmRB->geometry().right());
        QCOMPARE(form_->Hx32RB->x(), form_->hxmRB->x());
        QVERIFY(form_->Hx32RB->y() > form_->hxmRB->geometry().bottom());
        const QRect group = form_->RadioGroup1->geometry();
        QVERIFY(form_->StatusPanel->rect().contains(group));
        for (const QWidget* other : std::initializer_list<const QWidget*>{
                 form_->StatusLabel, form_->FileLabel, form_->ComboBox1, form_->PB}) {
            QVERIFY2(!group.intersects(other->geometry()),
                     qPrintable(other->metaObject()->className()));
            QVERIFY(form_->StatusPanel->rect().contains(other->geometry()));
        }
        QVERIFY(form_->PB->height() >= 10);
    }

    void inputOutputFailuresReachAMessageBox() {
        // The partner file is missing: the merge reports no data error, but an
        // unreadable chosen file is an input/output failure.
        Open(Path("gone.hxl"), form_->HxsRB);
        QCOMPARE(dialogs_->errors.size(), std::size_t{1});
        QCOMPARE(dialogs_->errors[0].first, QString("Tolvek"));
        QVERIFY(dialogs_->errors[0].second.contains("gone.hxl"));
        QVERIFY(!form_->Job.FileReady);

        // The input vanishes between Open and Start.
        OpenNew("blink.hex");
        QVERIFY(QFile::remove(Path("blink.hex")));
        form_->StartButClick();
        QCOMPARE(dialogs_->errors.size(), std::size_t{2});
        QVERIFY(dialogs_->errors[1].second.contains("blink.hex"));
        QVERIFY(dialogs_->errors[1].second.contains("No such file"));
        QVERIFY(IsRed(form_->StatusLabel));
        QVERIFY(!form_->Job.FileReady);
        QVERIFY(!form_->Job.Busy);
        QVERIFY(!form_->StartBut->isEnabled());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void noFocusFrameIsLeftOnHelpAfterARun() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        OpenNew("blink.hex");
        form_->StartButMouseMove();  // the pointer on Start gives it the focus
        QCOMPARE(QApplication::focusWidget(), form_->StartBut);
        form_->StartButClick();
        QVERIFY(!form_->StartBut->isEnabled());
        QVERIFY(!form_->HelpBut->hasFocus());
        QVERIFY(QApplication::focusWidget() == nullptr ||
                !qobject_cast<TPictureButton*>(QApplication::focusWidget()));
    }

    void busyGuardsOpenStartHelpAndClosing() {
        OpenNew("blink.hex");
        form_->show();
        form_->Job.Busy = true;
        dialogs_->files.push_back(Path("blink.hex"));
        form_->OpenButClick();
        QCOMPARE(dialogs_->opened.size(), std::size_t{1});
        form_->StartButClick();
        QCOMPARE(form_->StatusLabel->text(), QString("Waiting for Start"));
        QVERIFY(!QFile::exists(Path("blink.dis")));
        form_->HelpButClick();
        QVERIFY(dialogs_->modal.empty());
        form_->CloseButClick();
        QVERIFY(form_->isVisible());

        form_->Job.Busy = false;
        form_->HelpButClick();
        QCOMPARE(dialogs_->modal.size(), std::size_t{1});
        QCOMPARE(dialogs_->modal[0], help_.get());
        form_->LicTimerTimer();
        QVERIFY(!form_->Chip.ChipLines.empty());
        form_->CloseButClick();
        QVERIFY(!form_->isVisible());
        QVERIFY(form_->Chip.ChipLines.empty());
        QVERIFY(form_->Chip.ChipInfo.empty());
    }

    // Each step is a pointer movement: O, S, H, C over a button, "-" over the
    // background. After it, the status text, the hover flags and pictures.
    void hoverPicturesFollowThePointer_data() {
        QTest::addColumn<QString>("moves");
        QTest::addColumn<QString>("hovered");  // one letter or "-"
        QTest::addColumn<bool>("primed");
        QTest::newRow("first move over Open primes the status")
            << QString("O") << QString("O") << true;
        QTest::newRow("moving on to Help swaps the pictures")
            << QString("OH") << QString("H") << true;
        QTest::newRow("on to Close") << QString("SC") << QString("C") << true;
        QTest::newRow("background rests them all") << QString("OSHC-") << QString("-") << true;
        QTest::newRow("back onto a button") << QString("C-S") << QString("S") << true;
        QTest::newRow("disabled Start still counts") << QString("S") << QString("S") << true;
        QTest::newRow("no movement") << QString("") << QString("-") << false;
    }
    void hoverPicturesFollowThePointer() {
        QFETCH(QString, moves);
        QFETCH(QString, hovered);
        QFETCH(bool, primed);
        form_->LicTimerTimer();
        // the pointer over Open, Start, Help, Close, or the background
        const QString over = "OSHC";
        void (TDisForm::*const handlers[])() = {
            &TDisForm::OpenButMouseMove, &TDisForm::StartButMouseMove, &TDisForm::HelpButMouseMove,
            &TDisForm::CloseButMouseMove, &TDisForm::FormMouseMove};
        for (const QChar move : moves) {
            (form_.get()->*handlers[over.contains(move) ? over.indexOf(move) : 4])();
        }
        QCOMPARE(form_->StatusPrimed, primed);
        QCOMPARE(form_->StatusLabel->text(), primed ? QString("Waiting for Filename") : QString());
        const std::pair<TPictureButton*, bool> buttons[] = {{form_->OpenBut, form_->OpenHover},
                                                            {form_->StartBut, form_->StartHover},
                                                            {form_->HelpBut, form_->HelpHover},
                                                            {form_->CloseBut, form_->CloseHover}};
        for (int i = 0; i < 4; ++i) {
            const bool expected = hovered == over.at(i);
            QCOMPARE(buttons[i].first->HoverPictureShown(), expected);
            QCOMPARE(buttons[i].second, expected);
        }
    }

    void statusIsPrimedOnceEvenWithAFileOpen() {
        WriteTextFile(Path("blink.hex"), kBlinkHex);
        form_->LicTimerTimer();
        Open(Path("blink.hex"));
        form_->HelpButMouseMove();
        QCOMPARE(form_->StatusLabel->text(), QString("Waiting for Filename"));
        Open(Path("blink.hex"));
        form_->CloseButMouseMove();
        QCOMPARE(form_->StatusLabel->text(), QString("Waiting for Start"));
    }

    void openAndStartTestTheirHoverFlagBeforePriming() {
        form_->OpenButMouseMove();
        form_->StartButMouseMove();
        form_->LicTimerTimer();  // clears StatusPrimed with Start still hovered
        form_->StatusLabel->setText("result");
        form_->StartButMouseMove();
        QCOMPARE(form_->StatusLabel->text(), QString("result"));
        form_->HelpButMouseMove();
        QCOMPARE(form_->StatusLabel->text(), QString("Waiting for Filename"));
        form_->StatusPrimed = false;
        form_->StatusLabel->setText("result");
        form_->HelpButMouseMove();  // already hovered, but Help primes first
        QCOMPARE(form_->StatusLabel->text(), QString("Waiting for Filename"));
    }

    void pointerEventsReachTheHoverHandlers() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        form_->LicTimerTimer();
        const auto move = [](QWidget* widget, QPoint at) {
            QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton,
                              Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(widget, &event);
        };
        move(form_->HelpBut, QPoint(10, 10));
        QVERIFY(form_->HelpHover);
        QVERIFY(form_->HelpBut->HoverPictureShown());
        move(form_->StartBut, QPoint(10, 10));  // disabled, yet a button
        QVERIFY(form_->StartHover);
        QVERIFY(!form_->HelpHover);
        move(form_->StatusLabel, QPoint(5, 5));  // the status panel keeps the picture
        QVERIFY(form_->StartHover);
        move(form_->ButtonPanel, QPoint(2, 2));
        QVERIFY(!form_->StartHover);
        move(form_->CloseBut, QPoint(10, 10));
        move(form_.get(), QPoint(2, 2));
        QVERIFY(!form_->CloseHover);
    }

    void errorPanelPaintsTheFaultyFieldsRed_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("red");  // ":" B A T D C for the six legend labels
        QTest::newRow("01 line length") << 1 << ":BATDC";
        QTest::newRow("02 no colon") << 2 << ":";
        QTest::newRow("03 byte field") << 3 << "B";
        QTest::newRow("04 address field") << 4 << "A";
        QTest::newRow("05 type digits") << 5 << "T";
        QTest::newRow("06 type value") << 6 << "T";
        QTest::newRow("07 code data") << 7 << "D";
        QTest::newRow("08 no instruction") << 8 << "D";
        QTest::newRow("09 byte count less") << 9 << "BD";
        QTest::newRow("warning no EOF") << 10 << "T";
        QTest::newRow("10 byte count more") << 11 << "BD";
        QTest::newRow("11 too many targets") << 12 << "BD";
    }
    void errorPanelPaintsTheFaultyFieldsRed() {
        QFETCH(int, code);
        QFETCH(QString, red);
        // An earlier all-red error must not leave red behind.
        form_->ShowOutcome(tolvek::ProcessErrorMessage(1, "LineNumber  0", "x"));
        form_->ShowOutcome(tolvek::ProcessErrorMessage(code, "LineNumber  7", ":bad"));
        QVERIFY(!form_->ErrPan->isHidden());
        QVERIFY(!form_->LineData->isHidden());
        QVERIFY(!form_->LineLab->isHidden());
        QCOMPARE(form_->LineLab->text(), QString("LineNumber  7"));
        QCOMPARE(form_->LineData->text(), QString(":bad"));
        QVERIFY(IsRed(form_->StatusLabel));
        QCOMPARE(form_->StatusLabel->text(),
                 QString::fromStdString(tolvek::StatusMessage(code, "LineNumber  7")));
        const std::vector<QLabel*> legend = form_->LegendLabels();
        const QString fields = ":BATDC";
        for (std::size_t i = 0; i < legend.size(); ++i) {
            QCOMPARE(IsRed(legend[i]), red.contains(fields.at(static_cast<int>(i))));
        }
    }

    void aBadRecordStopsTheRunAndOpeningAgainClearsThePanel() {
        WriteTextFile(Path("bad.hex"),
                      ":10000000860183168601831202308A008C010C0857\r\n"
                      ":0200100000220\r\n"
                      ":00000001FF\r\n");
        Open(Path("bad.hex"));
        form_->StartButClick();
        QCOMPARE(form_->StatusLabel->text(),
                 QString("[ERROR 09]: Byte count value less than specified."));
        QCOMPARE(form_->LineLab->text(), QString("LineNumber  1"));
        QCOMPARE(form_->LineData->text(), QString(":0200100000220"));
        QVERIFY(!form_->ErrPan->isHidden());
        QVERIFY(!QFile::exists(Path("bad.dis")));
        QVERIFY(!form_->StartBut->isEnabled());

        OpenNew("blink.hex");
        QVERIFY(form_->ErrPan->isHidden());
        QVERIFY(form_->LineData->isHidden());
        QVERIFY(form_->LineLab->isHidden());
        QVERIFY(!IsRed(form_->StatusLabel));
    }

    void helpWindowHoldsTheManual() {
        THelpForm& help = *help_;
        QCOMPARE(help.windowTitle(), QString("Disassembler Help"));
        QCOMPARE(help.size(), QSize(427, 273));
        QVERIFY(help.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(help.Memo1->isReadOnly());
        QCOMPARE(help.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        const QString text = help.Memo1->toPlainText();
        // The five items, in order.
        const QStringList marks = {"INHX8M form",
                                   "\".dis\"",
                                   "highlighted",
                                   "temporary file",
                                   ":BBAAAATTHHHH....HHHHCC",
                                   "[16F84]",
                                   "<False,2>",
                                   "16C74 has 2",
                                   "#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,OSCCAL;5,GPIO;6",
                                   "%STATUS,C,DC,Z,PD,TO,PA0,?,GPWUF",
                                   "255 characters",
                                   "last line",
                                   "[ <, don't put anything past here"};
        qsizetype at = 0;
        for (const QString& mark : marks) {
            const qsizetype found = text.indexOf(mark, at);
            QVERIFY2(found >= 0, qPrintable(mark));
            at = found;
        }
    }
};

QTEST_MAIN(DisFormTest)
#include "DisFormTest.moc"
