// The listing window: links, Back and Forward, the side lists, Find, Go to,
// Rename with its symbol file, and opening from disk.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeView>
#include <QTreeWidget>
#include <deque>

#include <sys/stat.h>

#include <QInputDialog>

#include "ui/Dishp.h"
#include "ui/ListingView.h"
#include "ui/ListingWindow.h"
#include "ui/SourceRun.h"

namespace {

// A 16F628A program whose routine at 0006 runs in bank 0 and in bank 1, so
// that its operand 0x20 is 0x020 or 0x0A0; the word at 0000 clears 0x020 in
// bank 0 for certain.
//   0000 clrf 0x20; call 6; bsf STATUS,RP0; call 6; bcf STATUS,RP0; goto 5
//   0006 movf 0x20,w; return
constexpr char kBankedHex[] = ":10000000A001062083160620831205282008080078\n:00000001FF\n";

// A 16F628A program that clears PORTB (0x06) in bank 0 and TRISB (0x86) in bank 1:
//   0000 clrf 0x06; bsf STATUS,RP0; clrf 0x06; bcf STATUS,RP0; goto 4
constexpr char kPortsHex[] = ":0A000000860183168601831204288E\n:00000001FF\n";

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first of the scripted answers, taken; `answer` when they have run out.
template <typename T>
T Next(std::deque<T>& answers, T answer = T()) {
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    return answer;
}

// Scripted answers for the window's questions.
struct Script {
    std::deque<std::optional<QString>> texts;
    std::deque<QString> files;
    std::deque<QString> saveFiles;
    QStringList errors;
    std::deque<TReplaceAnswer> replaceAnswers;
    QStringList askedToReplace;
    std::deque<QString> sourceFiles;

    TListingPrompts Prompts() {
        TListingPrompts prompts;
        prompts.askText = [this](QWidget*, const QString&, const QString&, const QString&) {
            return Next(texts);
        };
        prompts.askOpenFile = [this](QWidget*, const QString&) { return Next(files); };
        prompts.showError = [this](QWidget*, const QString&, const QString& text) {
            errors << text;
        };
        prompts.askReplace = [this](QWidget*, const QString& path) {
            askedToReplace << path;
            return Next(replaceAnswers, TReplaceAnswer::kCancel);
        };
        prompts.askSaveFile = [this](QWidget*, const QString&) { return Next(saveFiles); };
        prompts.askSaveSource = [this](QWidget*, const QString&) { return Next(sourceFiles); };
        return prompts;
    }
};

}  // namespace

class ListingWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    TSourceRun run_{std::string(TOLVEK_DATA_DIR) + "/"};

    QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    // A fresh copy of a test listing in the temporary directory.
    QString Copy(const QString& name) {
        const QString path = dir_.filePath(name);
        QFile::remove(path);
        QFile::copy(QStringLiteral(TOLVEK_TEST_DATA "/browse/") + name, path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(dir_.filePath(name.section('.', 0, 0) + ".tolvek.sym"));
        return path;
    }

    static int LineWith(const TListingWindow& window, const char* text) {
        const auto& doc = window.Doc();
        for (std::size_t i = 0; i < doc.LineCount(); ++i) {
            if (doc.Line(i).find(text) != std::string_view::npos) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    // A source made by a run for a 16F628A from an image in the temporary directory.
    QString MakeSource(const QString& name = QStringLiteral("banked"),
                       const QByteArray& hex = kBankedHex) {
        const QString image = dir_.filePath(name + QStringLiteral(".hex"));
        WriteFile(image, hex);
        QFile::remove(dir_.filePath(name + QStringLiteral(".tolvek.sym")));
        TSourceRequest request;
        request.input = QFile::encodeName(image).toStdString();
        request.part = "16F628A";
        const TSourceResult made = run_.Make(request);
        if (!made.written) {
            qWarning("%s", made.status.c_str());
            return {};
        }
        return QFile::decodeName(QByteArray::fromStdString(made.outputFile));
    }

    // Opens the file in the window and shows the window on the screen.
    static bool OpenShown(TListingWindow& window, const QString& path) {
        if (!window.Open(path)) {
            return false;
        }
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

    // Why a rename was refused, or nothing when it was made.
    static QString RenameRefusal(TListingWindow& window, int line, int column, const char* name) {
        QString error;
        return window.Rename(line, column, QString::fromLatin1(name), &error)
                   ? QString()
                   : QStringLiteral("refused: ") + error;
    }

    static QString CurrentText(const TListingWindow& window) {
        return window.View->textCursor().block().text();
    }

    // Clicks the view on the first character of `word` on the line.
    static void ClickOn(TListingWindow& window, int line, const QString& word,
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTextCursor cursor(window.View->document()->findBlockByNumber(line));
        cursor.setPosition(cursor.block().position() + cursor.block().text().indexOf(word) + 1);
        const QPoint at = window.View->cursorRect(cursor).center();
        QTest::mouseClick(window.View->viewport(), Qt::LeftButton, modifiers, at);
    }

    // Puts the cursor inside `word` on the line.
    static void PutCursor(TListingWindow& window, int line, const QString& word) {
        QTextCursor cursor(window.View->document()->findBlockByNumber(line));
        cursor.setPosition(cursor.block().position() + cursor.block().text().indexOf(word) + 1);
        window.View->setTextCursor(cursor);
    }

  private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void clicksJumpAndBackAndForwardWalkTheHistory() {
        TListingWindow window;
        QVERIFY(OpenShown(window, Copy("blink.asm")));
        const int call = LineWith(window, "call    function_0200");
        const int function = LineWith(window, "function_0200:");
        const int loop = LineWith(window, "label_000A:");
        window.View->ShowLine(call);
        QVERIFY(!window.BackAction->isEnabled());

        ClickOn(window, call, "function_0200");
        QCOMPARE(window.CurrentLine(), function);
        // a cross-referenced address in the label's comment leads back to the caller
        ClickOn(window, function, "000B", Qt::ControlModifier);
        QCOMPARE(window.CurrentLine(), call);
        // a click on a word that goes nowhere only moves the cursor
        ClickOn(window, call, "call");
        QCOMPARE(window.CurrentLine(), call);
        QCOMPARE(window.BackHistory(), (std::vector<int>{call, function}));

        QTest::keyClick(&window, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(window.CurrentLine(), function);
        QTest::keyClick(&window, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(window.CurrentLine(), call);
        QVERIFY(!window.BackAction->isEnabled());
        QTest::keyClick(&window, Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(window.CurrentLine(), function);
        QVERIFY(window.ForwardAction->isEnabled());
        // a new jump drops what lay ahead
        window.GoTo(QStringLiteral("label_000A"));
        QCOMPARE(window.CurrentLine(), loop);
        QVERIFY(!window.ForwardAction->isEnabled());
        window.BackAction->trigger();
        QCOMPARE(window.CurrentLine(), function);
        // Enter on a label operand follows it too
        window.View->setFocus();
        PutCursor(window, LineWith(window, "goto    label_0009"), "label_0009");
        QTest::keyClick(window.View, Qt::Key_Return);
        QCOMPARE(CurrentText(window), QStringLiteral("label_0009:  ; jumped to from 0012"));
    }

    // At the window's opening size, on a screen of 980 pixels, every side
    // tab shows its name whole.
    void theSideTabsShowTheirNamesWhole() {
        TListingWindow window;
        QVERIFY(window.Open(Copy("blink.asm")));
        window.resize(980, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QTabBar* bar = window.SideTabs->tabBar();
        for (int i = 0; i < bar->count(); ++i) {
            const QRect tab = bar->tabRect(i);
            QVERIFY2(bar->rect().contains(tab), qPrintable(bar->tabText(i)));
            QVERIFY2(tab.width() >= bar->fontMetrics().horizontalAdvance(bar->tabText(i)),
                     qPrintable(bar->tabText(i)));
        }
    }

    void theSideListsShowLabelsAndWhereTheyAreUsed() {
        TListingWindow window;
        QVERIFY(window.Open(Copy("blink.asm")));
        window.show();
        QCOMPARE(window.LabelList->model()->rowCount(), 5);
        window.SelectLabel(window.Doc().FindLabel("function_0200"));
        QCOMPARE(window.RefList->topLevelItemCount(), 2);
        QCOMPARE(window.RefList->topLevelItem(0)->text(0), QStringLiteral("000B"));
        QCOMPARE(window.RefList->topLevelItem(0)->text(1), QStringLiteral("call"));
        QCOMPARE(window.RefList->topLevelItem(0)->text(2), QStringLiteral("call function_0200"));
        QCOMPARE(window.RefList->topLevelItem(1)->text(1), QStringLiteral("jump"));
        QVERIFY(window.RefTitle->text().contains(QStringLiteral("called from 1 place")));
        // a reference leads to the calling word, not to a label standing there
        emit window.RefList->itemActivated(window.RefList->topLevelItem(0), 0);
        QCOMPARE(window.CurrentLine(), LineWith(window, "call    function_0200"));

        // the filter matches names and addresses
        QTest::keyClicks(window.FilterEdit, QStringLiteral("000a"));
        QCOMPARE(window.LabelList->model()->rowCount(), 1);
        window.FilterEdit->clear();
        QTest::keyClicks(window.FilterEdit, QStringLiteral("FUNCTION"));
        QCOMPARE(window.LabelList->model()->rowCount(), 1);
        const QModelIndex row = window.LabelList->model()->index(0, 1);
        QCOMPARE(row.data().toString(), QStringLiteral("function_0200"));
        emit window.LabelList->clicked(row);
        QCOMPARE(window.CurrentLine(), LineWith(window, "function_0200:"));

        // the cursor's label is selected as the cursor moves
        window.FilterEdit->clear();
        window.View->ShowLine(LineWith(window, "retfie"));
        QCOMPARE(window.SelectedLabel(), window.Doc().FindLabel("label_0013"));
        QVERIFY(window.AddressLabel->text().contains(QStringLiteral("0014")));
        QVERIFY(window.AddressLabel->text().contains(QStringLiteral("label_0013")));
    }

    void findSearchesOnAndWrapsAround() {
        TListingWindow window;
        QVERIFY(OpenShown(window, Copy("blink.asm")));
        QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(window.FindEdit->hasFocus());
        QTest::keyClicks(window.FindEdit, QStringLiteral("retlw"));
        QTest::keyClick(window.FindEdit, Qt::Key_Return);
        const int first = LineWith(window, "retlw   0x3F");
        QCOMPARE(window.CurrentLine(), first);
        QTest::keyClick(&window, Qt::Key_F3);
        QCOMPARE(window.CurrentLine(), first + 1);
        QTest::keyClick(&window, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(window.CurrentLine(), first);
        window.View->ShowLine(static_cast<int>(window.Doc().LineCount()) - 1);
        QVERIFY(window.Find(QStringLiteral("RETLW")));  // from the end, back to the top
        QCOMPARE(window.CurrentLine(), first);
        QTest::keyClick(window.FindEdit, Qt::Key_Escape);
        QVERIFY(window.View->hasFocus());
        QVERIFY(!window.Find(QStringLiteral("no such text")));
        QCOMPARE(window.CurrentLine(), first);
        QVERIFY(window.BackHistory().empty());  // finding is not a jump
    }

    void goToTakesAddressesAndNames() {
        TListingWindow window;
        QVERIFY(OpenShown(window, Copy("blink.asm")));
        QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
        QVERIFY(window.GoToEdit->hasFocus());
        QTest::keyClicks(window.GoToEdit, QStringLiteral("0x200"));
        QTest::keyClick(window.GoToEdit, Qt::Key_Return);
        QCOMPARE(window.CurrentLine(), LineWith(window, "function_0200:"));
        QVERIFY(window.View->hasFocus());
        const struct {
            const char* text;
            const char* line;
        } cases[] = {
            {"e", "movlw   .10"},       {"000Eh", "movlw   .10"},
            {"$13", "label_0013:"},     {"LABEL_0009", "label_0009:"},  // names in any case
            {"0100", "function_0200:"},  // no word there: the next one
        };
        for (const auto& c : cases) {
            QVERIFY2(window.GoTo(QString::fromLatin1(c.text)), c.text);
            QCOMPARE(window.CurrentLine(), LineWith(window, c.line));
        }
        const int before = window.CurrentLine();
        for (const char* bad : {"0x9000", "nowhere", "12345678"}) {
            QVERIFY2(!window.GoTo(QString::fromLatin1(bad)), bad);
            QCOMPARE(window.CurrentLine(), before);
        }
    }

    void renamesAreSavedAndReadBackByTheNextOpening() {
        Script script;
        const QString path = Copy("blink.asm");
        const QString symbols = Path("blink.tolvek.sym");
        {
            TListingWindow window(nullptr, script.Prompts());
            QVERIFY(OpenShown(window, path));
            QCOMPARE(window.SymbolPath(), symbols);
            const int call = LineWith(window, "call    function_0200");
            window.View->ShowLine(call);
            window.JumpToLine(LineWith(window, "label_0009:"));
            PutCursor(window, call, "function_0200");
            script.texts.push_back(QStringLiteral("show_digit"));
            QTest::keyClick(&window, Qt::Key_F2);
            QVERIFY2(script.errors.isEmpty(), qPrintable(script.errors.join('\n')));
            QCOMPARE(ReadFile(symbols),
                     QByteArray("# tolvek symbol file\nlabel 0x0200 show_digit\n"));
            QCOMPARE(CurrentText(window), QStringLiteral("        call    show_digit      ; 000B"));
            QVERIFY(window.Doc().FindLabel("function_0200") < 0);

            // a location written as a number gets its name and an EQU line;
            // lines below the new EQU line move, and so does the history
            const int backTo = window.BackHistory().back();
            PutCursor(window, LineWith(window, "incf    0x0C"), "0x0C");
            script.texts.push_back(QStringLiteral("digit"));
            window.RenameAction->trigger();
            QCOMPARE(
                ReadFile(symbols),
                QByteArray("# tolvek symbol file\nlabel 0x0200 show_digit\nram 0x00C digit\n"));
            QCOMPARE(CurrentText(window), QStringLiteral("        incf    digit, f        ; 000D"));
            QCOMPARE(window.BackHistory().back(), backTo + 3);  // a blank, a heading, the EQU
            QVERIFY(LineWith(window, "digit           EQU     0x0C") > 0);

            // refused names change nothing
            PutCursor(window, LineWith(window, "label_0009:"), "label_0009");
            for (const char* bad : {"PORTB", "movlw", "show_digit", "2fast"}) {
                script.texts.push_back(QString::fromLatin1(bad));
                window.RenameAtCursor();
            }
            QCOMPARE(script.errors.size(), 4);
            QCOMPARE(
                ReadFile(symbols),
                QByteArray("# tolvek symbol file\nlabel 0x0200 show_digit\nram 0x00C digit\n"));
            script.texts.push_back(std::nullopt);  // cancelled
            window.RenameAtCursor();
            QCOMPARE(script.errors.size(), 4);
        }
        // the next opening reads the names back; the user's own name of a
        // location may be changed again, and the generated name of a label
        // takes its entry out
        TListingWindow again(nullptr, script.Prompts());
        QVERIFY(again.Open(path));
        QVERIFY(LineWith(again, "call    show_digit") > 0);
        QVERIFY(LineWith(again, "show_digit:  ; called from 000B") > 0);
        QVERIFY(LineWith(again, "incf    digit, f") > 0);
        QCOMPARE(RenameRefusal(again, LineWith(again, "incf    digit"), 17, "count"), QString());
        QCOMPARE(RenameRefusal(again, LineWith(again, "show_digit:"), 2, "function_0200"),
                 QString());
        QCOMPARE(ReadFile(symbols), QByteArray("# tolvek symbol file\nram 0x00C count\n"));
        QVERIFY(LineWith(again, "call    function_0200   ; 000B") > 0);

        // the classic listing takes the same names
        TListingWindow classic(nullptr, script.Prompts());
        QVERIFY(classic.Open(Copy("blink.dis")));
        QCOMPARE(RenameRefusal(classic, LineWith(classic, "ad0007      MOVF"), 1, "next"),
                 QString());
        QCOMPARE(ReadFile(Path("blink.tolvek.sym")),
                 QByteArray("# tolvek symbol file\nlabel 0x0007 next\n"));
        TListingWindow classicAgain;
        QVERIFY(classicAgain.Open(Path("blink.dis")));
        QVERIFY(LineWith(classicAgain, "next        MOVF 0x0C,w") > 0);
        QVERIFY(LineWith(classicAgain, "GOTO next") > 0);
    }

    void aSymbolFileTolvekDidNotWriteIsNeitherReadNorReplacedUnasked() {
        Script script;
        const QString path = Copy("blink.asm");
        const QString symbols = Path("blink.tolvek.sym");
        const QByteArray theirs = "label 0x0200 show_digit\n";  // no first line of Tolvek's
        {
            QFile file(symbols);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(theirs) == theirs.size());
        }
        TListingWindow window(nullptr, script.Prompts());
        QVERIFY(window.Open(path));
        QVERIFY(window.Doc().FindLabel("function_0200") >= 0);  // not read
        const auto rename = [&](const char* name) {
            const int line = static_cast<int>(
                window.Doc()
                    .Labels()[static_cast<std::size_t>(window.Doc().FindLabel("label_0009"))]
                    .line);
            return RenameRefusal(window, line, 1, name).isEmpty();
        };
        script.replaceAnswers.push_back(TReplaceAnswer::kCancel);
        QVERIFY(!rename("top"));
        QCOMPARE(script.askedToReplace, QStringList{symbols});
        QCOMPARE(ReadFile(symbols), theirs);
        QVERIFY(window.Doc().FindLabel("top") < 0);

        const QString other = Path("mine.sym");
        script.replaceAnswers.push_back(TReplaceAnswer::kSaveAs);
        script.saveFiles.push_back(other);
        QVERIFY(rename("top"));
        QCOMPARE(ReadFile(symbols), theirs);
        QCOMPARE(ReadFile(other), QByteArray("# tolvek symbol file\nlabel 0x0009 top\n"));
        QCOMPARE(window.SymbolPath(), other);

        QVERIFY(window.Open(path));  // back to the file beside it
        script.replaceAnswers.push_back(TReplaceAnswer::kReplace);
        QVERIFY(rename("start"));
        QCOMPARE(ReadFile(symbols), QByteArray("# tolvek symbol file\nlabel 0x0009 start\n"));
        QCOMPARE(script.askedToReplace.size(), 3);
        QFile::remove(other);
    }

    void aSymbolFileThatCannotBeWrittenOrReadStopsTheRename() {
        Script script;
        const QString path = Copy("blink.asm");
        QVERIFY(QDir().mkpath(Path("blink.tolvek.sym")));  // a directory in its way
        TListingWindow window(nullptr, script.Prompts());
        QVERIFY(window.Open(path));
        QVERIFY(RenameRefusal(window, LineWith(window, "label_0009:"), 1, "top")
                    .contains(QStringLiteral("blink.tolvek.sym")));
        QVERIFY(LineWith(window, "label_0009:") > 0);
        QVERIFY(QDir(Path("blink.tolvek.sym")).removeRecursively());
        // nor is a FIFO read, which would hold the window until someone wrote to it
        const QByteArray fifo = QFile::encodeName(Path("blink.tolvek.sym"));
        QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
        QVERIFY(window.Open(path));
        QVERIFY(RenameRefusal(window, LineWith(window, "label_0009:"), 1, "top")
                    .contains(QStringLiteral("not a file")));
        QString error;
        QVERIFY(!window.Open(QString::fromUtf8(fifo), &error));
        QVERIFY(error.contains(QStringLiteral("not a file")));
        QFile::remove(QString::fromUtf8(fifo));
    }

    void renamesFollowTheRulesOfTheNextRun() {
        Script script;
        const QString source = MakeSource();
        QVERIFY(!source.isEmpty());
        const QString symbols = Path("banked.tolvek.sym");
        TListingWindow window(nullptr, script.Prompts());
        window.SetSourceMaker(&run_);
        QVERIFY(window.Open(source));
        QCOMPARE(window.Part(), QStringLiteral("16f628a"));
        QVERIFY(window.Studied());
        const int routine = LineWith(window, "function_0006:");
        QVERIFY(routine > 0);
        // names the part, the assembler or the writer keep, though the source
        // does not use them, are refused with the reason
        const struct {
            const char* name;
            const char* reason;
        } refused[] = {
            {"EEDATA", "register"},   // a register of the 16F628A the source does not name
            {"_WDT_OFF", "setting"},  // a configuration setting
            {"skpz", "instruction"}, {"A", "instruction"}, {"label_0123", "labels"},
        };
        for (const auto& r : refused) {
            const QString refusal = RenameRefusal(window, routine, 2, r.name);
            QVERIFY2(refusal.contains(QString::fromLatin1(r.reason)), qPrintable(refusal));
        }
        QVERIFY(!QFile::exists(symbols));

        // a location the flow cannot place in a bank is not named there
        const int unknown = LineWith(window, "movf    0x20, w");
        QVERIFY(unknown > 0);
        PutCursor(window, unknown, "0x20");
        window.RenameAtCursor();
        QCOMPARE(script.errors.size(), 1);
        QVERIFY2(script.errors.front().contains(QStringLiteral("0x020, 0x0A0")),
                 qPrintable(script.errors.front()));
        QVERIFY(!QFile::exists(symbols));
        // where it is certain the name is given, and the view shows the
        // source as the next run writes it: the unknown place keeps its number
        QCOMPARE(RenameRefusal(window, LineWith(window, "clrf    ram_020"), 17, "counter"),
                 QString());
        QVERIFY(LineWith(window, "clrf    counter") > 0);
        QVERIFY(LineWith(window, "movf    0x20, w") > 0);
        QCOMPARE(RenameRefusal(window, LineWith(window, "function_0006:"), 2, "clear_it"),
                 QString());
        // and the next run takes every name the window took
        TSourceRequest request;
        request.input = QFile::encodeName(Path("banked.hex")).toStdString();
        request.part = "16F628A";
        const TSourceResult next = run_.Make(request);
        QVERIFY2(next.written, next.status.c_str());
        QCOMPARE(ReadFile(source), window.Doc().Text().c_str());
    }

    void openingAnotherFileStartsAfresh() {
        TListingWindow window;
        QVERIFY(OpenShown(window, Copy("blink.asm")));
        window.SelectLabel(window.Doc().FindLabel("function_0200"));
        QCOMPARE(window.RefList->topLevelItemCount(), 2);
        // a click on a reference lands on that reference's word, and so does a
        // second click on it, though the cursor's move selects another label
        // in the list above
        QCoreApplication::processEvents();
        const QRect row = window.RefList->visualItemRect(window.RefList->topLevelItem(0));
        QVERIFY2(row.isValid() && window.RefList->isVisible(), "the list is laid out");
        for (int click = 0; click < 2; ++click) {
            QTest::mouseClick(window.RefList->viewport(), Qt::LeftButton, Qt::NoModifier,
                              row.center());
        }
        QCOMPARE(window.CurrentLine(), LineWith(window, "call    function_0200"));
        QVERIFY(window.BackAction->isEnabled());
        QTest::keyClicks(window.FilterEdit, QStringLiteral("label"));

        QVERIFY(window.Open(Copy("blink.dis")));
        QVERIFY(!window.BackAction->isEnabled());
        QVERIFY(!window.ForwardAction->isEnabled());
        QVERIFY(window.FilterEdit->text().isEmpty());
        QCOMPARE(window.LabelList->model()->rowCount(), 3);
        QCOMPARE(window.RefList->topLevelItemCount(), 0);
    }

    void jumpsKeepLinesAboveTheTarget() {
        TListingWindow window;
        QVERIFY(window.Open(Copy("blink.asm")));
        window.resize(900, 320);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const int last = static_cast<int>(window.Doc().LineCount()) - 1;
        for (const char* name : {"label_0009", "label_0005", "function_0200", "label_0009"}) {
            window.View->ShowLine(std::string_view(name) == "function_0200" ? 0 : last);
            QVERIFY(window.GoTo(QString::fromLatin1(name)));
            const int line = window.CurrentLine();
            const int first = window.View->FirstVisibleLine();
            const int rows =
                window.View->viewport()->height() / window.View->fontMetrics().height();
            QVERIFY2(
                first < line && line < first + rows,
                qPrintable(QStringLiteral("%1: line %2, first %3").arg(name).arg(line).arg(first)));
        }
    }

    void theRenameDialogShowsItsWholeTitle() {
        const QString title = QStringLiteral("Name Data Memory Location");
        const std::unique_ptr<QInputDialog> dialog(
            TListingWindow::NewTextDialog(nullptr, title, QStringLiteral("Name:"), QString()));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QFont bold = dialog->font();
        bold.setBold(true);
        QVERIFY2(dialog->width() > QFontMetrics(bold).horizontalAdvance(title) + 100,
                 qPrintable(QStringLiteral("%1 %2 %3")
                                .arg(dialog->width())
                                .arg(dialog->minimumWidth())
                                .arg(QFontMetrics(bold).horizontalAdvance(title))));
    }

    void refusesFilesThatAreNeitherListingNorSource() {
        Script script;
        TListingWindow window(nullptr, script.Prompts());
        QVERIFY(window.Open(Copy("blink.asm")));
        const struct {
            const char* name;
            const char* text;
        } others[] = {
            {"hand.asm", "        processor 16f84a\n        movlw 1\n        end\n"},
            {"image.dis", ":10000000A001062083160620831205282008080078\n"},
            {"notes.dis", ";\n; some notes\n;\n"},
        };
        qsizetype refusals = 0;
        for (const auto& other : others) {
            const QString path = dir_.filePath(QString::fromLatin1(other.name));
            WriteFile(path, other.text);
            script.files.push_back(path);
            window.OpenAction->trigger();
            QCOMPARE(script.errors.size(), ++refusals);
            QVERIFY2(script.errors.back().contains(QStringLiteral("not a listing or source")),
                     qPrintable(script.errors.back()));
            QCOMPARE(window.FilePath(), Path("blink.asm"));
            QCOMPARE(ReadFile(path), QByteArray(other.text));
        }
        QCOMPARE(script.errors.size(), 3);
    }

    void dataReferencesComeFromTheFlow() {
        Script script;
        TListingWindow window(nullptr, script.Prompts());
        window.SetSourceMaker(&run_);
        QVERIFY(OpenShown(window, MakeSource(QStringLiteral("ports"), kPortsHex)));
        // the same offset in two banks is two locations
        const struct {
            const char* name;
            const char* word;
        } ports[] = {{"PORTB", "0000"}, {"TRISB", "0002"}};
        for (const auto& port : ports) {
            const int line = LineWith(window, (std::string("clrf    ") + port.name).c_str());
            QVERIFY2(line > 0, port.name);
            PutCursor(window, line, QString::fromLatin1(port.name));
            window.View->setFocus();
            QTest::keyClick(window.View, Qt::Key_X);
            QCOMPARE(window.RefList->topLevelItemCount(), 1);
            QCOMPARE(window.RefList->topLevelItem(0)->text(0), QString::fromLatin1(port.word));
            QCOMPARE(window.RefList->topLevelItem(0)->text(1), QStringLiteral("W"));
            QVERIFY(window.RefPopup->isVisible());
            window.RefPopup->hide();
        }

        // where the bank is unknown the places are listed apart as "may be"
        QVERIFY(window.Open(MakeSource()));
        const int unknown = LineWith(window, "movf    0x20, w");
        const std::pair<int, const char*> places[] = {
            {LineWith(window, "clrf    ram_020"), "ram_020"}, {unknown, "0x20"}};
        for (const auto& [line, word] : places) {
            QVERIFY(window.ShowDataReferences(line, window.Doc().Line(line).find(word) + 1));
            QCOMPARE(window.RefList->topLevelItemCount(), 3);
            QCOMPARE(window.RefList->topLevelItem(0)->text(1), QStringLiteral("W"));
            QCOMPARE(window.RefList->topLevelItem(1)->text(0), QStringLiteral("May be"));
            QCOMPARE(window.RefList->topLevelItem(2)->text(0), QStringLiteral("0006"));
            QCOMPARE(window.RefList->topLevelItem(2)->text(1), QStringLiteral("R"));
            QVERIFY2(window.RefTitle->text().contains(QStringLiteral("may be at 1 more")),
                     qPrintable(window.RefTitle->text()));
        }
        // a click on a place goes there and keeps the list
        emit window.RefList->itemClicked(window.RefList->topLevelItem(2), 0);
        QCOMPARE(window.CurrentLine(), unknown);
        QCOMPARE(window.RefList->topLevelItemCount(), 3);
        QVERIFY(!window.ShowDataReferences(LineWith(window, "return"), 9));
    }

    void theVariablesListCountsAndRenames() {
        Script script;
        TListingWindow window(nullptr, script.Prompts());
        window.SetSourceMaker(&run_);
        QVERIFY(OpenShown(window, MakeSource()));
        auto row = [&window](const char* address) -> QTreeWidgetItem* {
            const auto found =
                window.VariableList->findItems(QString::fromLatin1(address), Qt::MatchExactly, 0);
            return found.isEmpty() ? nullptr : found.front();
        };
        // address, name, bank, reads, writes, bits, may be
        const struct {
            const char* address;
            const char* columns[6];
        } rows[] = {
            {"0x003", {"STATUS", "0", "0", "0", "2", "0"}},
            {"0x020", {"ram_020", "0", "0", "1", "0", "1"}},
            {"0x0a0", {"", "1", "0", "0", "0", "1"}},
        };
        QCOMPARE(window.VariableList->topLevelItemCount(), 3);
        for (const auto& r : rows) {
            QTreeWidgetItem* item = row(r.address);
            QVERIFY2(item != nullptr, r.address);
            for (int c = 0; c < 6; ++c) {
                QCOMPARE(item->text(c + 1), QString::fromLatin1(r.columns[c]));
            }
        }
        // renamed from the list: where the bank is known only
        window.SideTabs->setCurrentWidget(window.VariableList);
        window.VariableList->setFocus();
        window.VariableList->setCurrentItem(row("0x0a0"));
        script.texts.push_back(QStringLiteral("spare"));
        QTest::keyClick(window.VariableList, Qt::Key_F2);
        QCOMPARE(script.errors.size(), 1);
        window.VariableList->setCurrentItem(row("0x020"));
        script.texts.push_back(QStringLiteral("counter"));
        QTest::keyClick(window.VariableList, Qt::Key_N);
        QVERIFY2(script.errors.size() == 1, qPrintable(script.errors.join('\n')));
        QCOMPARE(row("0x020")->text(1), QStringLiteral("counter"));
        QVERIFY(LineWith(window, "clrf    counter") > 0);
        QVERIFY(ReadFile(Path("banked.tolvek.sym")).contains("ram 0x020 counter"));
        // a register of the chip keeps its name
        window.VariableList->setCurrentItem(row("0x003"));
        QString error;
        QVERIFY(!window.RenameLocation(3, QStringLiteral("flags"), &error));
        QVERIFY(error.contains(QStringLiteral("chip's own")));
    }

    void everyUseOfTheWordUnderTheCursorIsMarked() {
        TListingWindow window;
        QVERIFY(OpenShown(window, Copy("blink.asm")));
        const struct {
            const char* line;
            const char* word;
            int uses;
        } cases[] = {
            {"addwf   PCL, f", "PCL", 2},  // not inside PCLATH
            {"clrf    0x0C", "0x0C", 4},
            {"call    function_0200", "function_0200", 3},
        };
        for (const auto& c : cases) {
            PutCursor(window, LineWith(window, c.line), QString::fromLatin1(c.word));
            QCOMPARE(window.View->MarkedUses(), c.uses);
        }
        window.View->ShowLine(LineWith(window, "        retfie"));
        QCOMPARE(window.View->MarkedUses(), 0);  // on the blanks before the word
    }

    void singleKeysOfTheText() {
        Script script;
        TListingWindow window(nullptr, script.Prompts());
        QVERIFY(OpenShown(window, Copy("blink.asm")));
        window.View->setFocus();
        const int call = LineWith(window, "call    function_0200");
        window.View->ShowLine(call);
        window.JumpToLine(LineWith(window, "label_0009:"));
        QTest::keyClick(window.View, Qt::Key_Escape);  // back
        QCOMPARE(window.CurrentLine(), call);
        PutCursor(window, call, "function_0200");
        script.texts.push_back(QStringLiteral("show_digit"));
        QTest::keyClick(window.View, Qt::Key_N);  // rename
        QVERIFY(LineWith(window, "call    show_digit") > 0);
        QTest::keyClick(window.View, Qt::Key_G);  // go to
        QVERIFY(window.GoToEdit->hasFocus());
        // in the fields they are letters
        window.FilterEdit->setFocus();
        QTest::keyClicks(window.FilterEdit, QStringLiteral("nxg"));
        QCOMPARE(window.FilterEdit->text(), QStringLiteral("nxg"));
        QVERIFY(script.texts.empty() && script.errors.isEmpty());
    }

    void runAgainWritesTheSourceAndKeepsThePlace() {
        Script script;
        const QString source = MakeSource();
        const QString image = Path("banked.hex");
        TListingWindow window(nullptr, script.Prompts());
        window.SetSourceMaker(&run_);
        QVERIFY(OpenShown(window, source));
        QCOMPARE(RenameRefusal(window, LineWith(window, "clrf    ram_020"), 17, "counter"),
                 QString());
        QVERIFY(!ReadFile(source).contains("counter"));  // a rename writes the symbol file only
        const int routine = LineWith(window, "movf    0x20, w");
        window.View->ShowLine(routine);
        QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
        QVERIFY2(script.errors.isEmpty(), qPrintable(script.errors.join('\n')));
        QVERIFY(ReadFile(source).contains("clrf    counter"));
        QCOMPARE(CurrentText(window).left(24), QStringLiteral("        movf    0x20, w "));
        // a restart reads the names back
        TListingWindow again;
        again.SetSourceMaker(&run_);
        QVERIFY(again.Open(source));
        QVERIFY(LineWith(again, "clrf    counter") > 0);

        // Save Source As writes where the user chose, but never over the image
        const QString copy = Path("copy.asm");
        QFile::remove(copy);
        script.sourceFiles.push_back(copy);
        window.SaveSourceAsAction->trigger();
        QCOMPARE(ReadFile(copy), ReadFile(source));
        const QByteArray hex = ReadFile(image);
        QString error;
        QVERIFY(!window.SaveSourceAs(image, &error));
        QCOMPARE(ReadFile(image), hex);
        // a listing has no image to make it again from
        TListingWindow classic(nullptr, script.Prompts());
        classic.SetSourceMaker(&run_);
        QVERIFY(classic.Open(Copy("blink.dis")));
        QVERIFY(!classic.RunAgain(&error));
        QVERIFY(error.contains(QStringLiteral("image")));
    }

    void theManualEndsWithTheKeyMap() {
        THelpForm help;
        const QString text = help.Memo1->toPlainText();
        const qsizetype manualEnd =
            text.indexOf(QStringLiteral("[ <, don't put anything past here"));
        const qsizetype keys = text.indexOf(QStringLiteral("Keys of the listing window"));
        QVERIFY(manualEnd > 0 && keys > manualEnd);
        // every key the window's actions answer to is in the map
        TListingWindow window;
        for (QAction* action :
             {window.BackAction, window.ForwardAction, window.GoToAction, window.FindAction,
              window.FindNextAction, window.RenameAction, window.RunAgainAction,
              window.SaveSourceAsAction, window.OpenAction}) {
            const QString key = action->shortcut().toString();
            QVERIFY2(text.indexOf(key, keys) > 0, qPrintable(key));
        }
        for (const char* single : {"n, F2", "x", "g, Ctrl+G", "Esc"}) {
            QVERIFY2(text.indexOf(QString::fromLatin1(single), keys) > 0, single);
        }
    }

    void theHistoryIsAListToJumpIn() {
        TListingWindow window;
        QVERIFY(OpenShown(window, Copy("blink.asm")));
        const int start = LineWith(window, "call    function_0200");
        window.View->ShowLine(start);
        for (const char* name : {"function_0200", "label_0013"}) {
            QVERIFY(window.GoTo(QString::fromLatin1(name)));
        }
        QCOMPARE(window.HistoryList->count(), 3);
        QCOMPARE(window.HistoryList->item(0)->text(), QStringLiteral("000B  label_000A"));
        QVERIFY(window.HistoryList->item(2)->text().startsWith(QStringLiteral("0013  label_0013")));
        emit window.HistoryList->itemClicked(window.HistoryList->item(0));
        QCOMPARE(window.CurrentLine(), start);
        QVERIFY(!window.BackAction->isEnabled());
        QCOMPARE(window.ForwardHistory().size(), std::size_t{2});
        QVERIFY(window.HistoryList->item(0)->text().endsWith(QStringLiteral("(here)")));
        emit window.HistoryList->itemClicked(window.HistoryList->item(2));
        QCOMPARE(window.CurrentLine(), LineWith(window, "label_0013:"));
    }

    void commentsAreSavedShownAndWrittenIntoTheNextSource() {
        Script script;
        const QString source = MakeSource();
        const QString symbols = Path("banked.tolvek.sym");
        {
            TListingWindow window(nullptr, script.Prompts());
            window.SetSourceMaker(&run_);
            QVERIFY(OpenShown(window, source));
            window.View->setFocus();
            window.View->ShowLine(LineWith(window, "clrf    ram_020"));
            script.texts.push_back(QStringLiteral("starts from nought"));
            QTest::keyClick(window.View, Qt::Key_Semicolon);
            QVERIFY(ReadFile(symbols).contains("comment 0x0000 starts from nought\n"));
            QVERIFY(CurrentText(window).endsWith(QStringLiteral("; 0000  starts from nought")));
            // a second one
            window.View->ShowLine(LineWith(window, "movf    0x20, w"));
            script.texts.push_back(QStringLiteral("either bank"));
            window.CommentAtCursor();
            QVERIFY2(CurrentText(window).endsWith(QStringLiteral("; 0006  either bank")),
                     qPrintable(CurrentText(window)));
            QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
            QVERIFY2(script.errors.isEmpty(), qPrintable(script.errors.join('\n')));
        }
        QVERIFY(ReadFile(source).contains("; 0000  starts from nought"));
        QVERIFY(ReadFile(source).contains("either bank"));
        // gpasm makes the same image of the commented source
        const QString hex = Path("again.hex");
        QProcess gpasm;
        gpasm.start(QStringLiteral("gpasm"), {QStringLiteral("-a"), QStringLiteral("inhx8m"),
                                              QStringLiteral("-o"), hex, source});
        if (gpasm.waitForFinished(20000) && gpasm.exitCode() == 0) {
            QCOMPARE(ReadFile(hex), QByteArray(kBankedHex));
        } else {
            qWarning("gpasm did not run: the reassembly is not checked here");
        }
        // a restart shows them; an empty text takes one away
        TListingWindow again(nullptr, script.Prompts());
        again.SetSourceMaker(&run_);
        QVERIFY(again.Open(source));
        QCOMPARE(again.Comments().size(), std::size_t{2});
        again.View->ShowLine(LineWith(again, "clrf    ram_020"));
        script.texts.push_back(QString());
        again.CommentAtCursor();
        QVERIFY(!ReadFile(symbols).contains("starts from nought"));
        QVERIFY(LineWith(again, "starts from nought") < 0);
        QVERIFY(LineWith(again, "either bank") > 0);

        // a listing without its image shows them too
        TListingWindow classic(nullptr, script.Prompts());
        QVERIFY(classic.Open(Copy("blink.dis")));
        QString error;
        QVERIFY2(classic.Comment(7, QStringLiteral("next digit"), &error), qPrintable(error));
        QVERIFY(LineWith(classic, "next digit") > 0);
        QVERIFY2(classic.Comment(7, QStringLiteral("the next digit"), &error), qPrintable(error));
        QCOMPARE(LineWith(classic, "next digit"), LineWith(classic, "; the next digit"));
        TListingWindow classicAgain;
        QVERIFY(classicAgain.Open(Path("blink.dis")));
        QVERIFY(LineWith(classicAgain, "; the next digit") > 0);
    }

    void bookmarksAreKeptAndListed() {
        Script script;
        const QString path = Copy("blink.asm");
        const QString symbols = Path("blink.tolvek.sym");
        const int call = [&] {
            TListingWindow window(nullptr, script.Prompts());
            return window.Open(path) ? LineWith(window, "call    function_0200") : -1;
        }();
        {
            TListingWindow window(nullptr, script.Prompts());
            QVERIFY(OpenShown(window, path));
            window.View->ShowLine(call);
            script.texts.push_back(QStringLiteral("digits"));
            QTest::keyClick(&window, Qt::Key_B, Qt::ControlModifier);
            QVERIFY(ReadFile(symbols).contains("bookmark 0x000B digits\n"));
            window.View->ShowLine(LineWith(window, "retfie"));
            script.texts.push_back(QString());  // a bookmark without a text
            window.BookmarkAtCursor();
            QVERIFY(ReadFile(symbols).contains("bookmark 0x0014\n"));
            QCOMPARE(window.BookmarkList->topLevelItemCount(), 2);
            QCOMPARE(window.BookmarkList->topLevelItem(0)->text(1), QStringLiteral("label_000A"));
            QCOMPARE(window.BookmarkList->topLevelItem(0)->text(2), QStringLiteral("digits"));
            emit window.BookmarkList->itemClicked(window.BookmarkList->topLevelItem(0), 0);
            QCOMPARE(window.CurrentLine(), call);
        }
        TListingWindow again(nullptr, script.Prompts());
        QVERIFY(OpenShown(again, path));
        QCOMPARE(again.BookmarkList->topLevelItemCount(), 2);
        again.SideTabs->setCurrentWidget(again.BookmarkList);
        again.BookmarkList->setFocus();
        again.BookmarkList->setCurrentItem(again.BookmarkList->topLevelItem(0));
        QTest::keyClick(again.BookmarkList, Qt::Key_Delete);
        QCOMPARE(again.BookmarkList->topLevelItemCount(), 1);
        QVERIFY(!ReadFile(symbols).contains("digits"));
        QVERIFY(script.errors.isEmpty());
    }

    void opensListingsFromDisk() {
        Script script;
        TListingWindow window(nullptr, script.Prompts());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        script.files.push_back(Copy("blink.dis"));
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(window.FilePath(), Path("blink.dis"));
        QCOMPARE(window.Doc().GetFormat(), tolvek::browse::Format::Classic);
        QCOMPARE(window.Doc().Labels().size(), std::size_t{3});
        QVERIFY(window.windowTitle().startsWith(QStringLiteral("blink.dis")));

        script.files.push_back(Path("missing.asm"));
        window.OpenAction->trigger();
        QCOMPARE(script.errors.size(), 1);
        QVERIFY(script.errors.front().contains(QStringLiteral("missing.asm")));
        QCOMPARE(window.FilePath(), Path("blink.dis"));  // still open
        window.OpenAction->trigger();                    // cancelled: nothing happens
        QCOMPARE(script.errors.size(), 1);

        QFile huge(Path("huge.dis"));  // sparse: nothing is written
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64{65} << 20));
        huge.close();
        script.files.push_back(huge.fileName());
        window.OpenAction->trigger();
        QCOMPARE(script.errors.size(), 2);
        QVERIFY(script.errors.back().contains(QStringLiteral("too large")));
        QCOMPARE(window.FilePath(), Path("blink.dis"));
        huge.remove();
    }
};

QTEST_MAIN(ListingWindowTest)
#include "ListingWindowTest.moc"
