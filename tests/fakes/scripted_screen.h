// A message-box host for tests: answers dialogs from a script, runs an action
// before an answer (swapping disks, say), and records every dialog shown.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakes/dialog_names.h"
#include "platform/dialog_types.h"
#include "platform/screen.h"

namespace slicery {

struct DialogCall {
  std::string text;
  std::string caption;
  Buttons buttons;
  Icon icon;
};

// Thrown when a dialog comes that the script did not foresee, so a test fails
// instead of looping.
struct ScriptExhausted : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ScriptedScreen : public Screen {
 public:
  // The next dialog gets `result`; `before` runs first.
  ScriptedScreen& Then(DialogResult result, std::function<void()> before = nullptr);
  // A rule for any dialog the script does not cover: returns nothing to pass.
  void set_fallback(
      std::function<std::optional<DialogResult>(const DialogCall&)> fallback) {
    fallback_ = std::move(fallback);
  }

  DialogResult ShowMessageBox(const std::string& text, const std::string& caption,
                              Buttons buttons, Icon icon) override;
  void Clear() override { ++clears_; }

  const std::vector<DialogCall>& calls() const { return calls_; }
  int clears() const { return clears_; }
  bool exhausted() const { return script_.empty(); }
  // How many dialogs had this text.
  int Count(const std::string& text) const;

 private:
  struct Step {
    DialogResult result;
    std::function<void()> before;
  };
  std::deque<Step> script_;
  std::function<std::optional<DialogResult>(const DialogCall&)> fallback_;
  std::vector<DialogCall> calls_;
  int clears_ = 0;
};

}  // namespace slicery
