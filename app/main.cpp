#include "app/run.h"

int main(int argc, char** argv) { return sorvil::runSorvil(argc, argv); }
