// The program's main window front end: installed by the program before start-up runs, so
// that the window mode opens it. Builds without the window install nothing, and the
// window mode then says how to get it.
#pragma once

namespace vantor {

void InstallMainWindow();

}  // namespace vantor
