#pragma once
// Wires the windows that the main window opens.
class mainfrm;
void registerWindows(mainfrm& w);
