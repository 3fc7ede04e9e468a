// tonvex: the desktop program.
#include "app/run_desktop.h"

int main(int argc, char** argv) { return desktop::RunDesktop(argc, argv); }
