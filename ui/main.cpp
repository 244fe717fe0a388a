// tolvek: the disassembler's desktop window.
#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include <cstdio>
#include <cstring>

#include "ui/Dis.h"
#include "ui/Dishp.h"

namespace {

constexpr const char* kUsage =
    "Usage: tolvek [options]\n"
    "Opens the Tolvek window, which disassembles PIC12/PIC16 program memory from\n"
    "an INHX8M file or an INHX8S pair into an assembler listing (base name +\n"
    "\".dis\", beside the input), naming registers and bits from the chip chosen in\n"
    "its list.\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help and exit\n"
    "      --version   show the version and exit\n"
    "\n"
    "Qt's own options, such as -platform NAME, are taken as well. The same work on\n"
    "a terminal, for scripts and INHX32 files: tolvek-cli.\n";

// Answers --help and --version before any window or display is needed.
bool AnswerInformationOption(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tolvek %s\n", TOLVEK_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (AnswerInformationOption(argc, argv)) {
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvek"));
    QApplication::setDesktopFileName(QStringLiteral("tolvek"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/tolvek.svg")));
    // The pictures and panel colours are drawn for this style, whatever the desktop's theme.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    THelpForm HelpForm;
    TDisForm DisForm(&HelpForm);
    DisForm.show();
    return QApplication::exec();
}
