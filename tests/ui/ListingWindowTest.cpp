// The listing window: links, Back and Forward, the side lists, Find, Go to,
// Rename with its symbol file, and opening from disk.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeView>
#include <QTreeWidget>
#include <deque>

#include <sys/stat.h>

#include "ui/ListingView.h"
#include "ui/ListingWindow.h"

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Scripted answers for the window's questions.
struct Script {
    std::deque<std::optional<QString>> texts;
    std::deque<QString> files;
    QStringList errors;
    std::deque<TReplaceAnswer> replaceAnswers;
    QStringList askedToReplace;
    std::deque<QString> saveFiles;

    TListingPrompts Prompts() {
        TListingPrompts prompts;
        prompts.askText = [this](QWidget*, const QString&, const QString&, const QString&) {
            std::optional<QString> answer;
            if (!texts.empty()) {
                answer = texts.front();
                texts.pop_front();
            }
            return answer;
        };
        prompts.askOpenFile = [this](QWidget*, const QString&) {
            QString file;
            if (!files.empty()) {
                file = files.front();
                files.pop_front();
            }
            return file;
        };
        prompts.showError = [this](QWidget*, const QString&, const QString& text) {
            errors << text;
        };
        prompts.askReplace = [this](QWidget*, const QString& path) {
            askedToReplace << path;
            TReplaceAnswer answer = TReplaceAnswer::kCancel;
            if (!replaceAnswers.empty()) {
                answer = replaceAnswers.front();
                replaceAnswers.pop_front();
            }
            return answer;
        };
        prompts.askSaveFile = [this](QWidget*, const QString&) {
            QString file;
            if (!saveFiles.empty()) {
                file = saveFiles.front();
                saveFiles.pop_front();
            }
            return file;
        };
        return prompts;
    }
};

}  // namespace

class ListingWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;

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
        QVERIFY(window.Open(Copy("blink.asm")));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
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
        QVERIFY(window.Open(Copy("blink.asm")));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
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
        QVERIFY(window.Open(Copy("blink.asm")));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
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
        const QString symbols = dir_.filePath(QStringLiteral("blink.tolvek.sym"));
        {
            TListingWindow window(nullptr, script.Prompts());
            QVERIFY(window.Open(path));
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
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
        QString error;
        QVERIFY2(
            again.Rename(LineWith(again, "incf    digit"), 17, QStringLiteral("count"), &error),
            qPrintable(error));
        QVERIFY2(again.Rename(LineWith(again, "show_digit:"), 2, QStringLiteral("function_0200"),
                              &error),
                 qPrintable(error));
        QCOMPARE(ReadFile(symbols), QByteArray("# tolvek symbol file\nram 0x00C count\n"));
        QVERIFY(LineWith(again, "call    function_0200   ; 000B") > 0);

        // the classic listing takes the same names
        TListingWindow classic(nullptr, script.Prompts());
        QVERIFY(classic.Open(Copy("blink.dis")));
        QVERIFY(classic.Rename(LineWith(classic, "ad0007      MOVF"), 1, QStringLiteral("next"),
                               &error));
        QCOMPARE(ReadFile(dir_.filePath(QStringLiteral("blink.tolvek.sym"))),
                 QByteArray("# tolvek symbol file\nlabel 0x0007 next\n"));
        TListingWindow classicAgain;
        QVERIFY(classicAgain.Open(dir_.filePath(QStringLiteral("blink.dis"))));
        QVERIFY(LineWith(classicAgain, "next        MOVF 0x0C,w") > 0);
        QVERIFY(LineWith(classicAgain, "GOTO next") > 0);
    }

    void aSymbolFileTolvekDidNotWriteIsNeitherReadNorReplacedUnasked() {
        Script script;
        const QString path = Copy("blink.asm");
        const QString symbols = dir_.filePath(QStringLiteral("blink.tolvek.sym"));
        const QByteArray theirs = "label 0x0200 show_digit\n";  // no first line of Tolvek's
        {
            QFile file(symbols);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(theirs) == theirs.size());
        }
        TListingWindow window(nullptr, script.Prompts());
        QVERIFY(window.Open(path));
        QVERIFY(window.Doc().FindLabel("function_0200") >= 0);  // not read
        const auto rename = [&](const char* name) {
            QString error;
            const int line = static_cast<int>(
                window.Doc()
                    .Labels()[static_cast<std::size_t>(window.Doc().FindLabel("label_0009"))]
                    .line);
            return window.Rename(line, 1, QString::fromLatin1(name), &error);
        };
        script.replaceAnswers.push_back(TReplaceAnswer::kCancel);
        QVERIFY(!rename("top"));
        QCOMPARE(script.askedToReplace, QStringList{symbols});
        QCOMPARE(ReadFile(symbols), theirs);
        QVERIFY(window.Doc().FindLabel("top") < 0);

        const QString other = dir_.filePath(QStringLiteral("mine.sym"));
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
        QVERIFY(QDir().mkpath(
            dir_.filePath(QStringLiteral("blink.tolvek.sym"))));  // a directory in its way
        TListingWindow window(nullptr, script.Prompts());
        QVERIFY(window.Open(path));
        QString error;
        QVERIFY(!window.Rename(LineWith(window, "label_0009:"), 1, QStringLiteral("top"), &error));
        QVERIFY(error.contains(QStringLiteral("blink.tolvek.sym")));
        QVERIFY(LineWith(window, "label_0009:") > 0);
        QVERIFY(QDir(dir_.filePath(QStringLiteral("blink.tolvek.sym"))).removeRecursively());
        // nor is a FIFO read, which would hold the window until someone wrote to it
        const QByteArray fifo =
            QFile::encodeName(dir_.filePath(QStringLiteral("blink.tolvek.sym")));
        QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
        QVERIFY(window.Open(path));
        QVERIFY(!window.Rename(LineWith(window, "label_0009:"), 1, QStringLiteral("top"), &error));
        QVERIFY(error.contains(QStringLiteral("not a file")));
        QVERIFY(!window.Open(QString::fromUtf8(fifo), &error));
        QVERIFY(error.contains(QStringLiteral("not a file")));
        QFile::remove(QString::fromUtf8(fifo));
    }

    void opensListingsFromDisk() {
        Script script;
        TListingWindow window(nullptr, script.Prompts());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        script.files.push_back(Copy("blink.dis"));
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(window.FilePath(), dir_.filePath(QStringLiteral("blink.dis")));
        QCOMPARE(window.Doc().GetFormat(), tolvek::browse::Format::Classic);
        QCOMPARE(window.Doc().Labels().size(), std::size_t{3});
        QVERIFY(window.windowTitle().startsWith(QStringLiteral("blink.dis")));

        script.files.push_back(dir_.filePath(QStringLiteral("missing.asm")));
        window.OpenAction->trigger();
        QCOMPARE(script.errors.size(), 1);
        QVERIFY(script.errors.front().contains(QStringLiteral("missing.asm")));
        QCOMPARE(window.FilePath(), dir_.filePath(QStringLiteral("blink.dis")));  // still open
        window.OpenAction->trigger();  // cancelled: nothing happens
        QCOMPARE(script.errors.size(), 1);

        QFile huge(dir_.filePath(QStringLiteral("huge.dis")));  // sparse: nothing is written
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64{65} << 20));
        huge.close();
        script.files.push_back(huge.fileName());
        window.OpenAction->trigger();
        QCOMPARE(script.errors.size(), 2);
        QVERIFY(script.errors.back().contains(QStringLiteral("too large")));
        QCOMPARE(window.FilePath(), dir_.filePath(QStringLiteral("blink.dis")));
        huge.remove();
    }
};

QTEST_MAIN(ListingWindowTest)
#include "ListingWindowTest.moc"
