#include "app/windows.h"

#include "app/mainfrm.h"
#include "diary/dailyfrm.h"
#include "meetings/meetfrm.h"

// Each window library adds its opener here as it lands.
void registerWindows(mainfrm& w)
{
    w.setOpener(mainfrm::Window::Meet, [](QWidget*) {
        meetfrm f;
        f.Form_Load();
        f.exec();
    });
    w.setOpener(mainfrm::Window::Log, [](QWidget*) {
        dailyfrm f;
        if (f.Form_Load())
            f.exec();
    });
}
