// Lumetra: the program's entry point.
#include "demo/settings.h"

int main() { return 0; }
