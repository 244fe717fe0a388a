#include "ui/Dishp.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QVBoxLayout>

QString HelpText() {
    return QStringLiteral(
        "12x 16x SERIES DISASSEMBLER\n"
        "\n"
        "This program disassembles a hex file whose object code is in INHX8M form. Choose "
        "the INHX8M format and load a file with a \".hex\" or \".obj\" extension with the "
        "Open button. Choose the processor from the list, then press the Start button to "
        "disassemble the file. A new file with the same name and the extension \".dis\" is "
        "created in the same directory.\n"
        "\n"
        "ERRORS\n"
        "\n"
        "If the file holds a faulty line, an error message is shown on the status line "
        "together with the line of object code that caused it and its line number (the "
        "first line of the file is line 0). The INHX8M field legend is shown beside it "
        "with the faulty fields highlighted in red. No listing is written.\n"
        "\n"
        "INHX8S MODE\n"
        "\n"
        "Choose the INHX8S format and open the \".hxl\" file (low bytes) of the pair; its "
        "\".hxh\" file (high bytes) must lie beside it. The pair is first converted to "
        "INHX8M in a temporary file with the extension \".dsm\", which is then "
        "disassembled. Error line numbers refer to the temporary file.\n"
        "\n"
        "THE INHX8M RECORD FORMAT\n"
        "\n"
        "Every line of the file is one record:\n"
        "\n"
        "    :BBAAAATTHHHH....HHHHCC\n"
        "\n"
        "BB is the number of data bytes on the line, as two hex digits.\n"
        "\n"
        "AAAA is the starting address of the line's data.\n"
        "\n"
        "TT is the record type: 00 normally, and 01 on the last line of the file.\n"
        "\n"
        "HHHH is one data word, written low byte first.\n"
        "\n"
        "CC is the checksum of the line.\n"
        "\n"
        "ADDING CHIPS TO CHIPDAT.TXT\n"
        "\n"
        "The chip list is read from the file \"chipdat.txt\" in the program's directory "
        "when the program starts. To add a chip, add a section for it before the last line "
        "of the file:\n"
        "\n"
        "The chip name between square brackets on the section's first line, for example:\n"
        "    [16F84]\n"
        "\n"
        "The core and ROM line, for example:\n"
        "    <False,2>\n"
        "True marks a 12-bit core chip such as the 16C54, False a 14-bit core chip. The "
        "number is the count of 2K ROM pages: a 16C74 has 2.\n"
        "\n"
        "RAM name lines begin with \"#\" and the RAM page number, followed by a comma and "
        "name;address definitions separated by commas. Write no blanks, and write the "
        "addresses in hex without leading zeros. For a 12C508:\n"
        "    #0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,OSCCAL;5,GPIO;6\n"
        "\n"
        "Bit name lines begin with \"%\" and the register name, followed by the names of "
        "its bits from bit 0 up; \"?\" marks a bit without a name:\n"
        "    %STATUS,C,DC,Z,PD,TO,PA0,?,GPWUF\n"
        "\n"
        "Keep every line shorter than 255 characters. Do not alter the last line of the "
        "file, and do not type anything after it.\n");
}

THelpForm::THelpForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Disassembler Help"));
    setFixedSize(427, 273);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->document()->setDocumentMargin(8);
    Memo1->setPlainText(HelpText());
    QFont font = Memo1->font();
    font.setPixelSize(12);
    Memo1->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
}
