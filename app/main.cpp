// 澄桐工作管理: the program.

#include "app/mainfrm.h"
#include "app/startup.h"
#include "platform/instance.h"
#include "platform/windowing.h"

#include <QApplication>

int main(int argc, char** argv)
{
    ct::SingleInstance instance;
    shell::beforeApplication(instance);
    windowing::Arguments args(argc, argv); // X through XWayland unless the user chose
    QApplication app(args.argc, args.argv());
    shell::setUp(app);
    const auto w = shell::start(instance);
    if (!w)
        return 0;
    return QApplication::exec();
}
