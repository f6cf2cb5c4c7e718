#include "fakes/scripted_screen.h"

#include <algorithm>

namespace slicery {
namespace {

// Far more dialogs than any scripted run shows: a loop, not a test.
constexpr std::size_t kMaxCalls = 100000;

}  // namespace

ScriptedScreen& ScriptedScreen::Then(DialogResult result, std::function<void()> before) {
  script_.push_back(Step{result, std::move(before)});
  return *this;
}

DialogResult ScriptedScreen::ShowMessageBox(const std::string& text,
                                            const std::string& caption, Buttons buttons,
                                            Icon icon) {
  calls_.push_back(DialogCall{text, caption, buttons, icon});
  if (calls_.size() > kMaxCalls) throw ScriptExhausted("dialog loop: " + text);
  if (!script_.empty()) {
    Step step = std::move(script_.front());
    script_.pop_front();
    if (step.before) step.before();
    return step.result;
  }
  if (fallback_) {
    if (const std::optional<DialogResult> result = fallback_(calls_.back()))
      return *result;
  }
  throw ScriptExhausted("unscripted dialog: " + caption + ": " + text);
}

int ScriptedScreen::Count(const std::string& text) const {
  return static_cast<int>(std::count_if(
      calls_.begin(), calls_.end(), [&](const DialogCall& c) { return c.text == text; }));
}

}  // namespace slicery
