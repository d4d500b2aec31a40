// The parts of the program that live above the shell (the pages, the method
// and history dialogs, the volume analysers and the engines' quick searches),
// put together as the program runs them. Shared by the program, the
// screenshot tool and the tests that show the whole window.
#pragma once

// Registers every part; call once the application object exists and before
// the main window is built.
void RegisterProgramParts();
