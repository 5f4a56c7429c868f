#include "app/windows.h"

#include "app/mainfrm.h"
#include "meetings/meetfrm.h"

// Each window library adds its opener here as it lands.
void registerWindows(mainfrm& w)
{
    w.setOpener(mainfrm::Window::Meet, [](QWidget*) {
        meetfrm f;
        f.Form_Load();
        f.exec();
    });
}
