// The help window: the user manual, shown modally from the main window.
#pragma once

#include <QDialog>

class QPlainTextEdit;

class THelpForm : public QDialog {
    Q_OBJECT
  public:
    explicit THelpForm(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1;
};

// The manual's text.
QString HelpText();
