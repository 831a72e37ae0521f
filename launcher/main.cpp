// TqSorva.exe: no window, one thread; the launcher's result is the exit code.
#include "Launcher.h"

int main(int argc, char** argv)
{
    CLauncher launcher;
    return launcher.Run(argc, argv);
}
