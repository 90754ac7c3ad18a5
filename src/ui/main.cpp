// Tavrek: the program is its one window and ends when the window is closed.

#include <QApplication>

#include "ui/frm_main.h"
#include "ui/real_parts.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tavrek::kProgramTitle));
    tavrek::frmMain window(tavrek::realWindowParts());
    window.show();
    return QApplication::exec();
}
