// The help window: the user manual, shown modally from the main window.
#pragma once

#include <QDialog>

class QTextEdit;

class THelpForm : public QDialog {
    Q_OBJECT
  public:
    explicit THelpForm(QWidget* parent = nullptr);

    QTextEdit* Memo1;
};

// The manual, as rich text.
QString HelpText();
