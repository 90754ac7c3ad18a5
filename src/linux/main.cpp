// Tavrek: the program is its one window and ends when the window is closed.

#include <QApplication>
#include <QIcon>

#include "linux/qt_main_window.h"
#include "linux/real_parts.h"
#include "version.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tavrek::kProgramTitle));
    // The desktop pairs the window with its menu entry by this id; the icon is built in,
    // so that it shows where no icon theme has it.
    const QString appId = QString::fromLatin1(tavrek::kAppId);
    QGuiApplication::setDesktopFileName(appId);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/") + appId + QStringLiteral(".svg")));
    tavrek::QtMainWindow window(tavrek::realWindowParts());
    window.show();
    return QApplication::exec();
}
