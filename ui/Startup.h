// The window as the program starts it: the application's name, icon and style,
// and the main window with its help window and source run. ui/main.cpp starts
// it so, and so does the benchmark that times how long it takes to come up.
#pragma once

#include <memory>

#include "ui/Dis.h"
#include "ui/Dishp.h"

// Names the application, gives it its icon and the style its pictures and panel
// colours are drawn for. Call after the QApplication is made.
void SetUpApplication();

// The main window over the help window, finding its data files beside the program.
std::unique_ptr<TDisForm> MakeMainWindow(THelpForm& help);
