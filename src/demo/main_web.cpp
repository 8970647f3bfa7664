// The page's entry: the program's main (compiled as lumetra_main), then the exit that
// ends the page's runtime. Main waits on the browser, so its return reaches no one
// that would end the runtime by itself.
#include <cstdlib>

int lumetra_main();

int main() { std::exit(lumetra_main()); }
