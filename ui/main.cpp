// tolvek: the disassembler's desktop window.
#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include "ui/Dis.h"
#include "ui/Dishp.h"

int main(int argc, char* argv[]) {
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
