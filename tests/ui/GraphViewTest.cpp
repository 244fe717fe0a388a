// The graph views of the listing window: opening them at the cursor, clicks
// that go to the listing, the layout's directions, and export as SVG and PNG.
#include <QAction>
#include <QFile>
#include <QImage>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

#include "ui/GraphLayout.h"
#include "ui/GraphView.h"
#include "ui/GraphWindow.h"
#include "ui/ListingView.h"
#include "ui/ListingWindow.h"

namespace {

const QString kGraphs = QStringLiteral(TOLVEK_TEST_DATA "/browse/graphs.asm");

int LineWith(const TListingWindow& window, const char* text) {
    const auto& doc = window.Doc();
    for (std::size_t i = 0; i < doc.LineCount(); ++i) {
        if (doc.Line(i).find(text) != std::string_view::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TGraphWindow* Graphs(TListingWindow& window) {
    return window.findChild<TGraphWindow*>(QString(), Qt::FindDirectChildrenOnly);
}

}  // namespace

class GraphViewTest : public QObject {
    Q_OBJECT

  private slots:
    void SpaceShowsTheFunctionAtTheCursor() {
        struct Case {
            const char* at;
            long function;
            unsigned marked;  // a word of the block that holds the cursor
        };
        for (const Case& c : {Case{"delay_inner", 0x2E, 0x31}, Case{"isr_done", 0x04, 0x3A},
                              Case{"main", 0x00, 0x0B}}) {
            TListingWindow window;
            QVERIFY(window.Open(kGraphs));
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY(window.GoTo(QString::fromLatin1(c.at)));
            window.View->setFocus();
            QTest::keyClick(&window, Qt::Key_Space);
            TGraphWindow* graphs = Graphs(window);
            QVERIFY2(graphs != nullptr, c.at);
            QVERIFY(graphs->isVisible());
            QCOMPARE(graphs->ShownFunction(), c.function);
            QVERIFY(graphs->View->MarkedNode() >= 0);
            QVERIFY(graphs->View->PointOf(c.marked).has_value());
            // the call graph from the same listing, its function marked
            QTest::keyClick(&window, Qt::Key_F12, Qt::ControlModifier);
            QVERIFY(graphs->View->ShowsCalls());
            QCOMPARE(graphs->View->NodeCount(), std::size_t{4});
            QVERIFY(graphs->View->MarkedNode() >= 0);
        }
    }

    void ClickOnABoxGoesThereInTheListing() {
        TListingWindow window;
        QVERIFY(window.Open(kGraphs));
        window.show();
        QVERIFY(window.GoTo(QStringLiteral("main")));
        TGraphWindow* graphs = new TGraphWindow(&window);
        QVERIFY(graphs->ShowFunctionAtCursor());
        struct Case {
            unsigned address;
            bool label;
            const char* line;  // where the listing's cursor goes
        };
        for (const Case& c : {Case{0x13, false, "btfsc   STATUS, Z               ; 0013"},
                              Case{0x16, true, "down:  ;"}, Case{0x1D, true, "show:  ;"},
                              Case{0x20, false, "call    delay"}, Case{0x0B, true, "main:  ;"}}) {
            // bring the box into view first, as a user scrolls to it
            graphs->View->Mark(c.address);
            const std::optional<QPoint> at = graphs->View->PointOf(c.address, c.label);
            QVERIFY2(at.has_value(), c.line);
            QTest::mouseClick(graphs->View->viewport(), Qt::LeftButton, Qt::NoModifier, *at);
            QCOMPARE(window.CurrentLine(), LineWith(window, c.line));
            // the block of the new place is marked
            QVERIFY(graphs->View->MarkedNode() >= 0);
        }
        // a function in the call graph goes to its label
        QVERIFY(graphs->ShowCallGraph());
        const std::optional<QPoint> delay = graphs->View->PointOf(0x2E, true);
        QVERIFY(delay.has_value());
        QTest::mouseClick(graphs->View->viewport(), Qt::LeftButton, Qt::NoModifier, *delay);
        QCOMPARE(window.CurrentLine(), LineWith(window, "delay:  ;"));
        // a drag moves the picture and goes nowhere
        const int before = window.CurrentLine();
        const std::optional<QPoint> segments = graphs->View->PointOf(0x22, true);
        QVERIFY(segments.has_value());
        QTest::mousePress(graphs->View->viewport(), Qt::LeftButton, Qt::NoModifier, *segments);
        QTest::mouseRelease(graphs->View->viewport(), Qt::LeftButton, Qt::NoModifier,
                            *segments + QPoint(12, 0));
        QCOMPARE(window.CurrentLine(), before);
    }

    void LayoutPutsTheEntryOnTopAndLoopsPointBack() {
        // entry -> a -> b -> a (a loop), entry -> c; the entry listed last
        tolvek::ui::LayoutIn in;
        in.sizes = {{80, 30}, {60, 40}, {50, 20}, {70, 30}};
        in.edges = {{3, 0}, {0, 1}, {1, 0, false}, {3, 2}};
        in.top = {3};
        const std::optional<tolvek::ui::Layout> laid = tolvek::ui::LayOut(in);
        QVERIFY(laid.has_value());
        const auto& c = laid->centres;
        QVERIFY(c[3].y < c[0].y);
        QVERIFY(c[0].y < c[1].y);
        QVERIFY(c[3].y < c[2].y);
        QVERIFY(laid->size.x >= 80 && laid->size.y >= 30 + 40 + 30);
        for (std::size_t e = 0; e < in.edges.size(); ++e) {
            const auto& edge = laid->edges[e];
            QVERIFY(edge.curve.size() >= 4 && (edge.curve.size() - 1) % 3 == 0);
            // each edge starts at its tail and its arrow ends at its head
            const auto& from = c[in.edges[e].from];
            const auto& to = c[in.edges[e].to];
            QVERIFY(edge.tip.has_value());
            const auto dy = [](auto p, auto q) { return std::abs(p.y - q.y); };
            QVERIFY(dy(edge.curve.front(), from) < dy(edge.curve.front(), to));
            QVERIFY(dy(*edge.tip, to) < dy(*edge.tip, from));
        }
        // the loop's way back points up
        QVERIFY(laid->edges[2].tip->y < laid->edges[2].curve.front().y);
    }

    void ExportWritesSvgAndPng() {
        TListingWindow window;
        QVERIFY(window.Open(kGraphs));
        window.show();
        QVERIFY(window.GoTo(QStringLiteral("main")));
        TGraphWindow* graphs = new TGraphWindow(&window);
        QVERIFY(graphs->ShowFunctionAtCursor());
        QTemporaryDir dir;
        QString asked;
        QString answer;
        graphs->askExportPath = [&](QWidget*, const QString& suggested) {
            asked = suggested;
            return answer;
        };
        QStringList errors;
        graphs->showError = [&](QWidget*, const QString& text) { errors << text; };
        struct Case {
            const char* name;
            bool svg;
        };
        for (const Case& c :
             {Case{"main.svg", true}, Case{"main.PNG", false}, Case{"main", true}}) {
            answer = dir.filePath(QString::fromLatin1(c.name));
            graphs->ExportAction->trigger();
            QVERIFY(asked.endsWith(QStringLiteral("graphs-0000.svg")));
            const QString written = QString::fromLatin1(c.name) == QLatin1String("main")
                                        ? answer + QStringLiteral(".svg")
                                        : answer;
            QFile file(written);
            QVERIFY2(file.open(QIODevice::ReadOnly), c.name);
            const QByteArray bytes = file.readAll();
            if (c.svg) {
                QVERIFY(bytes.startsWith("<?xml"));
                QSvgRenderer svg(bytes);
                QVERIFY2(svg.isValid(), c.name);
                QVERIFY(svg.defaultSize().width() > 200 && svg.defaultSize().height() > 400);
                QVERIFY(bytes.contains("start:"));  // the text stays text
            } else {
                QImage png;
                QVERIFY2(png.loadFromData(bytes, "PNG"), c.name);
                QVERIFY(png.width() > 200 && png.height() > 400);
            }
        }
        QCOMPARE(errors, QStringList());
        // a name of another kind writes nothing
        answer = dir.filePath(QStringLiteral("main.jpeg"));
        graphs->ExportAction->trigger();
        QCOMPARE(errors.size(), 1);
        QVERIFY(!QFile::exists(answer));
        QString error;
        QVERIFY(!graphs->View->Export(dir.filePath(QStringLiteral("main.txt")), &error));
        QVERIFY(error.contains(QStringLiteral(".svg")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("main.txt"))));
        // a place that cannot be written says so
        QVERIFY(
            !graphs->View->Export(dir.filePath(QStringLiteral("no/such/dir/main.png")), &error));
        QVERIFY(error.contains(QStringLiteral("Cannot write")));
    }

    void PictureFollowsThePalette() {
        TListingWindow window;
        QVERIFY(window.Open(kGraphs));
        window.show();
        TGraphWindow* graphs = new TGraphWindow(&window);
        QVERIFY(graphs->ShowFunctionAtCursor());
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x30));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
        dark.setColor(QPalette::Text, QColor(0xdf, 0xe1, 0xe5));
        const QImage light = graphs->View->Image();
        graphs->View->setPalette(dark);
        const QImage shaded = graphs->View->Image();
        QVERIFY(QColor(light.pixel(2, 2)).lightness() > 160);
        QVERIFY(QColor(shaded.pixel(2, 2)).lightness() < 96);
        QVERIFY(graphs->View->backgroundBrush().color().lightness() < 96);
        // inside the entry's box, the dark palette's base
        QCOMPARE(light.size(), shaded.size());
        QVERIFY(graphs->View->LegendHtml() != QString());
    }
};

QTEST_MAIN(GraphViewTest)
#include "GraphViewTest.moc"
