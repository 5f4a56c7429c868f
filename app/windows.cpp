#include "app/windows.h"

#include "app/mainfrm.h"

// Each window library adds its opener here as it lands.
void registerWindows(mainfrm& w)
{
    (void)w;
}
