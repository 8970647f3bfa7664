// The page's entry: the program's main (compiled as lumetra_main), then the exit that
// ends the page's runtime. Main waits on the browser, so its return reaches no one
// that would end the runtime by itself.
#include <emscripten.h>

#include <cstdlib>

int lumetra_main();

namespace {

// The runtime ends the program (std::exit, from main or an error box) by throwing its
// exit status up the stack. After a wait the stack was resumed from a promise, so the
// status would surface as an unhandled rejection, a page error in Firefox: a resumed
// wait takes that status as the program's end. Anything else thrown is a crash, passed
// on as an uncaught error of a task of its own, which every browser reports to the
// page's error handler (a rejection's event is not dispatched in every one).
EM_JS(void, EndQuietlyAfterWaits, (), {
  Asyncify.handleAsync = (startAsync) => Asyncify.handleSleep((wakeUp) => {
    startAsync().then((value) => {
      try {
        wakeUp(value);
      } catch (error) {
        if (!(error instanceof ExitStatus)) setTimeout(() => { throw error; });
      }
    });
  });
});

}  // namespace

int main() {
  EndQuietlyAfterWaits();
  std::exit(lumetra_main());
}
