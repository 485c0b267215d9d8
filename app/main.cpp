#include "app/commandline.h"
#include "app/runwindow.h"

int main(int argc, char *argv[])
{
    // Before QApplication: it would need a display, and the form makes folders.
    if (answerCommandLine(argc, argv, Program::Study))
        return 0;
    return runWindow(argc, argv, "calculus-study", nullptr);
}
