#include "ui/ReplaceQuestion.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

TReplaceAnswer AskReplace(QWidget* parent, const QString& path, const QString& what) {
    QMessageBox box(
        QMessageBox::Warning, QObject::tr("Replace %1?").arg(QFileInfo(path).fileName()),
        QObject::tr("\"%1\" was not written by Tolvek: it may be a file of your own.\n\n"
                    "Replace it with %2, write %2 to another file, or cancel?")
            .arg(QDir::toNativeSeparators(path), what),
        QMessageBox::NoButton, parent);
    QPushButton* replace = box.addButton(QObject::tr("&Replace"), QMessageBox::DestructiveRole);
    QPushButton* saveAs = box.addButton(QObject::tr("&Save As..."), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(saveAs);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == replace) {
        return TReplaceAnswer::kReplace;
    }
    return box.clickedButton() == saveAs ? TReplaceAnswer::kSaveAs : TReplaceAnswer::kCancel;
}

QString AskSaveFileName(QWidget* parent, const QString& title, const QString& suggested,
                        const QString& filter) {
    // the dialog asks itself before it replaces a file the user picks
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
}
