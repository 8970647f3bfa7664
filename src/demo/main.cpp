// Lumetra: the program's entry point.
#include "demo/driver.h"

int main() { return demo::RunLumetra(); }
