// The question asked before a file Tolvek did not write is replaced: replace
// it, write to another file, or do nothing.
#pragma once

#include <QString>

class QWidget;

enum class TReplaceAnswer { kReplace, kSaveAs, kCancel };

// Asks about the file at path; `what` says what would be written there.
TReplaceAnswer AskReplace(QWidget* parent, const QString& path, const QString& what);

// A file to write to, starting at `suggested`; empty when cancelled.
QString AskSaveFileName(QWidget* parent, const QString& title, const QString& suggested,
                        const QString& filter);
