#include "ui/Dishp.h"

#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include "ui/ListingWindow.h"

QString HelpText() {
    return QStringLiteral(R"(<h2>12x 16x Series Disassembler</h2>
<p>This program disassembles a hex file whose object code is in INHX8M form. Choose the INHX8M
format and load a file with a ".hex" or ".obj" extension with the Open button. Choose the
processor from the list, then press the Start button to disassemble the file. A new file with the
same name and the extension ".dis" is created in the same directory.</p>
<h3>Errors</h3>
<p>If the file holds a faulty line, an error message is shown on the status line together with
the line of object code that caused it and its line number (the first line of the file is line
0). The INHX8M field legend is shown beside it with the faulty fields highlighted in red. No
listing is written.</p>
<h3>INHX8S mode</h3>
<p>Choose the INHX8S format and open the ".hxl" file (low bytes) of the pair; its ".hxh" file
(high bytes) must lie beside it. The pair is first converted to INHX8M in a temporary file with
the extension ".dsm", which is then disassembled. Error line numbers refer to the temporary
file.</p>
<h3>INHX32 mode</h3>
<p>Hex files from current assemblers and IDEs are mostly INHX32: INHX8M with extended-address
records (type 04). Choose the INHX32 format for them. Records after a non-zero extended address
lie outside the program memory of these chips and are skipped. In INHX8M mode such a file stops
at its first type 04 record with error 06.</p>
<h3>The INHX8M record format</h3>
<p>Every line of the file is one record:</p>
<pre>:BBAAAATTHHHH....HHHHCC</pre>
<p><b>BB</b> is the number of data bytes on the line, as two hex digits.</p>
<p><b>AAAA</b> is the starting address of the line's data.</p>
<p><b>TT</b> is the record type: 00 normally, and 01 on the last line of the file.</p>
<p><b>HHHH</b> is one data word, written low byte first.</p>
<p><b>CC</b> is the checksum of the line.</p>
<h3>Adding chips to chipdat.txt</h3>
<p>The chip list is read from the file "chipdat.txt" in the program's directory when the program
starts. To add a chip, add a section for it before the last line of the file.</p>
<p>The chip name between square brackets on the section's first line, for example:</p>
<pre>[16F84]</pre>
<p>The core and ROM line, for example:</p>
<pre>&lt;False,2&gt;</pre>
<p>True marks a 12-bit core chip such as the 16C54, False a 14-bit core chip. The number is the
count of 2K ROM pages: a 16C74 has 2.</p>
<p>RAM name lines begin with "#" and the RAM page number, followed by a comma and name;address
definitions separated by commas. Write no blanks, and write the addresses in hex without leading
zeros. For a 12C508:</p>
<pre>#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,OSCCAL;5,GPIO;6</pre>
<p>Bit name lines begin with "%" and the register name, followed by the names of its bits from
bit 0 up; "?" marks a bit without a name:</p>
<pre>%STATUS,C,DC,Z,PD,TO,PA0,?,GPWUF</pre>
<p>Keep every line shorter than 255 characters. The last line of the file closes the last
chip's section; it must contain "[" and must not be a chip name line. Do not alter it, and do not
type anything after it. The shipped file ends with:</p>
<pre>[ &lt;, don't put anything past here</pre>
<h3>The Source output</h3>
<p>Choose the Source choice in the Output row to write the reconstructed source instead of the
listing: the whole image as gpasm source that assembles to the same bytes, with the registers,
bits and jump targets the program's flow vouches for. The chip list then holds the parts of the
device data, among them the enhanced midrange parts (PIC12F1xxx/16F1xxx) that the listing does
not read. All three formats are read as the Intel-hex standard has them.</p>
<p>The source goes to a file with the extension ".asm" beside the input. Such a file is replaced
only when Tolvek wrote it; when it is another, such as the source the hex file was built from, the
program asks whether to replace it, save the source under another name, or cancel.</p>
<h3>The listing window</h3>
<p>After a successful run, Show Listing (or Show Source) shows the file just written; Open
Listing... shows any ".dis" or ".asm" file. Labels and jump targets are links; the list on the
left holds the functions and labels, and below it the places that call or jump to the selected
one.</p>
<table>
<tr><td>Click, Ctrl+click or Enter</td><td>follow a label or jump target</td></tr>
<tr><td>Alt+Left, Alt+Right</td><td>back and forward again</td></tr>
<tr><td>Ctrl+F, F3, Shift+F3</td><td>find text, the next and the previous match</td></tr>
<tr><td>Ctrl+G</td><td>go to an address or label</td></tr>
<tr><td>F2</td><td>rename the label or data memory location at the cursor</td></tr>
</table>
<h3>Renames and the symbol file</h3>
<p>A rename is saved at once in the symbol file beside the file, with the same name and the
extension ".tolvek.sym"; its first line is "# tolvek symbol file". The next source run reads it,
so the names come back in the new source. A file of that name that Tolvek did not write is neither
read nor replaced unasked, and a compiler's ".sym" file is never touched. One entry a line:</p>
<pre>label 0x0040 init
ram 0x020 counter</pre>
<h3>Keys of this window</h3>
<p>Ctrl+O opens a file, F1 shows this help, Enter presses the focused button, and Tab goes from
the format to the file, the chip, the output and Start.</p>
)");
}

THelpForm::THelpForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Disassembler Help"));
    setFixedSize(427, 273);
    Memo1 = new QTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont font = Memo1->font();
    font.setPixelSize(12);
    Memo1->setFont(font);
    Memo1->document()->setDocumentMargin(8);
    // the manual, then the keys of the listing window
    Memo1->setHtml(HelpText() + ListingKeyMap());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
}
