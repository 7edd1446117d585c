// brevacastpc: the studio's windows on a display, and the headless modes for automation.
#include "app/program_main.h"
#include "ui/windowed_program.h"

int main(int argc, char** argv) { return ProgramMain(argc, argv, RunWindowedProgram); }
