// tolvek: the disassembler's desktop window.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "ui/Startup.h"

namespace {

constexpr const char* kUsage =
    "Usage: tolvek [options]\n"
    "Opens the Tolvek window, which disassembles PIC12/PIC16 program memory from\n"
    "an INHX8M, INHX8S or INHX32 file into an assembler listing (base name +\n"
    "\".dis\", beside the input), naming registers and bits from the chip chosen in\n"
    "its list, or into the reconstructed source (base name + \".asm\"); its\n"
    "listing window shows either with links, cross-references and renaming.\n"
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
    SetUpApplication();
    THelpForm HelpForm;
    const std::unique_ptr<TDisForm> DisForm = MakeMainWindow(HelpForm);
    DisForm->show();
    return QApplication::exec();
}
