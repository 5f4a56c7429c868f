#include "app/windows.h"

#include "app/mainfrm.h"
#include "help/frmabout.h"
#include "help/helpfrm.h"

// Each window library adds its opener here as it lands.
void registerWindows(mainfrm& w)
{
    w.setOpener(mainfrm::Window::Help, [](QWidget* main) {
        helpfrm f(main);
        f.exec();
    });
    w.setOpener(mainfrm::Window::About, [](QWidget* main) {
        frmAbout f(main);
        f.exec();
    });
}
