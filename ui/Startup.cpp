#include "ui/Startup.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QStyleFactory>

#include "ui/SourceRun.h"

void SetUpApplication() {
    QApplication::setApplicationName(QStringLiteral("Tolvek"));
    QApplication::setDesktopFileName(QStringLiteral("tolvek"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/tolvek.svg")));
    // The pictures and panel colours are drawn for this style, whatever the desktop's theme.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

std::unique_ptr<TDisForm> MakeMainWindow(THelpForm& help) {
    const QString programDirectory = QCoreApplication::applicationDirPath();
    return std::make_unique<TDisForm>(
        &help, nullptr, programDirectory,
        std::make_unique<TSourceRun>(QFile::encodeName(programDirectory + '/').toStdString()));
}
