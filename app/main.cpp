// 澄桐工作管理: the program.

#include "app/mainfrm.h"
#include "app/startup.h"
#include "platform/instance.h"

#include <QApplication>

int main(int argc, char** argv)
{
    shell::prepareEnvironment();
    QApplication app(argc, argv);
    shell::setUp(app);
    ct::SingleInstance instance;
    const auto w = shell::start(instance);
    if (!w)
        return 0;
    return QApplication::exec();
}
