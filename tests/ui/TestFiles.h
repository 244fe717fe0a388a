// Files and dialogs shared by the window tests and the screenshot program.
#pragma once

#include <QDialog>
#include <QFile>
#include <QString>
#include <QStringList>
#include <deque>
#include <utility>
#include <vector>

#include "ui/Dis.h"

// Answers the window's dialogs from a script instead of waiting on a user.
class FakeDialogs : public TDialogs {
  public:
    // Files the open dialog returns in turn; an empty entry stands for Cancel.
    std::deque<QString> files;
    std::vector<TOpenDialog> opened;
    std::vector<std::pair<QString, QString>> errors;  // title, text
    std::vector<QDialog*> modal;
    // Answers to the replace question, in turn (Cancel when none are left),
    // and the files the save dialog returns (empty for Cancel).
    std::deque<TReplaceAnswer> replaceAnswers;
    std::vector<QString> askedToReplace;
    std::deque<QString> saveFiles;

    bool Execute(TOpenDialog& dialog, QWidget* /*parent*/) override {
        opened.push_back(dialog);
        if (files.empty() || files.front().isEmpty()) {
            if (!files.empty()) {
                files.pop_front();
            }
            return false;
        }
        dialog.FileName = files.front();
        files.pop_front();
        return true;
    }
    void ShowError(const QString& title, const QString& text, QWidget* /*parent*/) override {
        errors.emplace_back(title, text);
    }
    void ShowModal(QDialog& dialog) override { modal.push_back(&dialog); }
    TReplaceAnswer AskReplace(const QString& path, const QString& /*what*/,
                              QWidget* /*parent*/) override {
        askedToReplace.push_back(path);
        if (replaceAnswers.empty()) {
            return TReplaceAnswer::kCancel;
        }
        const TReplaceAnswer answer = replaceAnswers.front();
        replaceAnswers.pop_front();
        return answer;
    }
    QString AskSaveFile(const QString& /*title*/, const QString& /*suggested*/,
                        const QString& /*filter*/, QWidget* /*parent*/) override {
        QString file;
        if (!saveFiles.empty()) {
            file = saveFiles.front();
            saveFiles.pop_front();
        }
        return file;
    }
};

inline void WriteTextFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

// Two chips, listed out of order so that sorting shows.
inline const QByteArray kChipData =
    "Chip data for the window tests\r\n"
    "[16F84]\r\n"
    "<False,1>\r\n"
    "#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,PORTA;5,PORTB;6,EEDATA;8,EEADR;9,PCLATH;A,INTCON;B\r\n"
    "#1,INDF;80,OPTION_REG;81,PCL;82,STATUS;83,FSR;84,TRISA;85,TRISB;86,EECON1;88,EECON2;89,"
    "PCLATH;8A,INTCON;8B\r\n"
    "%STATUS,C,DC,Z,PD,TO,RP0,RP1,IRP\r\n"
    "[12C508]\r\n"
    "<True,1>\r\n"
    "#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,OSCCAL;5,GPIO;6\r\n"
    "%STATUS,C,DC,Z,PD,TO,PA0,?,GPWUF\r\n"
    "%GPIO,GP0,GP1,GP2,GP3,GP4,GP5\r\n"
    "[ <, don't put anything past here\r\n";

// A 14-bit program: five records and the end record.
inline const QByteArray kBlinkHex =
    ":10000000860183168601831202308A008C010C0857\r\n"
    ":10001000002286008C0A0A300C06031D07280628D9\r\n"
    ":1004000082073F3406345B344F3466346D347D34B8\r\n"
    ":0604100007347F346F3455\r\n"
    ":00000001FF\r\n";

// An INHX32 file: the extended address 0000, two words, then a record beyond
// the first 64K bytes, which is skipped.
inline const QByteArray kInhx32Hex =
    ":020000040000FA\r\n"
    ":04000000860183167E\r\n"
    ":020000040001F9\r\n"
    ":02000000FFFFFE\r\n"
    ":00000001FF\r\n";
