// The configuration dialog in a web page: the page's form (its controls and texts
// are the dialog layout's) shows the initial state; when Go! or Cancel is pressed, the
// boxes the user changed count as clicks on them, then the button as its click.
#include <emscripten.h>

#include <cstdlib>
#include <string>

#include "demo/config_dialog.h"

namespace demo {

namespace {

// Shows the form with the boxes ticked as given and the list on `selected`, and waits
// for a button. Returns the button's id and, through `state`, the boxes' final state
// (bit 0 Fullscreen, 1 True Color, 2 Music) and the list's choice (from bit 8 on,
// +1; 0 for none).
EM_ASYNC_JS(int, AskPage, (int ticked, int selected, const char* const* texts, int count,
                           int* state),
            {
  const names = [];
  for (let i = 0; i < count; ++i) names.push(UTF8ToString(HEAP32[(texts >> 2) + i]));
  const answer = await Module['askConfig']({
    fullscreen: (ticked & 1) != 0,
    trueColor: (ticked & 2) != 0,
    music: (ticked & 4) != 0,
    resolutions: names,
    selected: selected
  });
  HEAP32[state >> 2] = (answer.fullscreen ? 1 : 0) | (answer.trueColor ? 2 : 0) |
                       (answer.music ? 4 : 0) | ((answer.selected + 1) << 8);
  return answer.button;
});

EM_JS(void, ShowCancelled, (), {
  if (Module['onCancelled']) Module['onCancelled']();
});

}  // namespace

void RunConfigDialog(DemoSettings& settings) {
  const ConfigDialogView view = InitConfigDialog(settings);
  const int ticked = (view.FullscreenChecked ? 1 : 0) | (view.TrueColorChecked ? 2 : 0) |
                     (view.MusicChecked ? 4 : 0);
  const char* texts[Resolutions.size()];
  for (size_t i = 0; i < Resolutions.size(); ++i) texts[i] = Resolutions[i].Text;
  int state = 0;
  const int button = AskPage(ticked, view.SelectedResolution, texts,
                             static_cast<int>(Resolutions.size()), &state);
  const int changed = (state & 7) ^ ticked;
  const int32_t boxes[3] = {FullscreenBox, TrueColorBox, MusicBox};
  for (int i = 0; i < 3; ++i)
    if (changed & (1 << i)) ConfigDialogCommand(settings, boxes[i], -1);
  const int32_t selected = (state >> 8) - 1;
  if (ConfigDialogCommand(settings, button, selected) == DialogOutcome::Cancel) {
    ShowCancelled();
    std::exit(0);
  }
}

}  // namespace demo
