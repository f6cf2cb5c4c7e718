#include "bench/conversation.h"

#include <cstdio>
#include <memory>

#include "bench/dialogs.h"
#include "e2e/driver.h"

namespace slicery::bench {
namespace {

using Clock = std::chrono::steady_clock;
using e2e::Dialog;
using e2e::Session;

std::unique_ptr<Session> Launch(const ProgramSetup& setup, const e2e::Drive& drive,
                                bool read_back, std::string* error) {
  e2e::LaunchOptions options;
  options.program = setup.program;
  // The split's journal goes beside the drive, never to the user's state folder.
  options.env = {{"SLICERY_VOLUME", drive.path()},
                 {"SLICERY_VOLUME_SIZE", std::to_string(setup.volume_size)},
                 {"XDG_STATE_HOME", drive.path() + "-state"}};
  if (!read_back) options.env.push_back({"SLICERY_NO_VERIFY", "1"});
  options.timeout = setup.timeout;
  return Session::Start(options, error);
}

bool Is(const std::optional<Dialog>& dialog, const std::string& text) {
  return dialog && !dialog->repeated && dialog->text == text;
}

// Fails the phase: what was expected, then the conversation so far.
std::nullopt_t Fail(Session& session, const std::string& what, std::string* error) {
  *error = what + "\n" + session.Transcript();
  return std::nullopt;
}

bool Insert(e2e::Drive& drive, int number, std::string* error) {
  return drive.Insert(std::to_string(number), error);
}

// Declines another operation and waits for the exit; the program's usage.
std::optional<ChildUsage> Finish(Session& session, std::string* error) {
  if (!session.Answer('n')) {
    Fail(session, "the program did not take the last answer", error);
    return std::nullopt;
  }
  const std::optional<e2e::ExitStatus> status = session.WaitExit();
  if (!status || !status->exited || status->code != 0 || !session.Stderr().empty()) {
    Fail(session, "the program did not end cleanly with status 0", error);
    return std::nullopt;
  }
  return FromRusage(status->usage);
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The phase's time, then the program's exit and its resource use.
std::optional<Phase> EndPhase(Session& session, Clock::time_point start, Phase phase,
                              std::string* error) {
  phase.seconds = SecondsSince(start);
  std::optional<ChildUsage> usage = Finish(session, error);
  if (!usage) return std::nullopt;
  phase.usage = *usage;
  return phase;
}

}  // namespace

std::optional<Phase> RunSplit(const ProgramSetup& setup, e2e::Drive& drive,
                              const std::string& source, bool read_back,
                              std::string* error) {
  std::unique_ptr<Session> session = Launch(setup, drive, read_back, error);
  if (!session) return std::nullopt;
  if (!Is(session->NextDialog(), kMenuText)) return Fail(*session, "no menu", error);
  const Clock::time_point start = Clock::now();
  if (!session->Type("y\n" + source)) return Fail(*session, "source not taken", error);
  Phase phase;
  for (;;) {
    const std::optional<Dialog> dialog = session->NextDialog();
    if (Is(dialog, kCompleteText)) break;
    if (!Is(dialog, kSplitInsertText)) return Fail(*session, "unexpected dialog", error);
    if (!Insert(drive, ++phase.volumes, error)) return std::nullopt;
    if (!session->Answer('o')) return Fail(*session, "answer not taken", error);
  }
  phase.read_back_shown = session->Stdout().find("Checking [") != std::string::npos;
  return EndPhase(*session, start, phase, error);
}

std::optional<Phase> RunReconstitute(const ProgramSetup& setup, e2e::Drive& drive,
                                     int volumes, const std::string& recorded,
                                     const std::string& target, std::string* error) {
  std::unique_ptr<Session> session = Launch(setup, drive, true, error);
  if (!session) return std::nullopt;
  if (!Is(session->NextDialog(), kMenuText) || !session->Answer('n')) {
    return Fail(*session, "no menu", error);
  }
  if (!Is(session->NextDialog(), kIdentifyText) || !Insert(drive, 1, error) ||
      !session->Answer('o')) {
    return Fail(*session, "no request to identify the set", error);
  }
  if (!Is(session->NextDialog(), ConfirmText(recorded))) {
    return Fail(*session, "no question about the recorded path", error);
  }
  const Clock::time_point start = Clock::now();
  if (!session->Type("n\n" + target)) return Fail(*session, "target not taken", error);
  Phase phase;
  for (;;) {
    const std::optional<Dialog> dialog = session->NextDialog();
    if (Is(dialog, kCompleteText) && phase.volumes == volumes) break;
    if (!Is(dialog, RequestDiskText(phase.volumes + 1))) {
      return Fail(*session, "unexpected dialog", error);
    }
    if (!Insert(drive, ++phase.volumes, error)) return std::nullopt;
    if (!session->Answer('o')) return Fail(*session, "answer not taken", error);
  }
  return EndPhase(*session, start, phase, error);
}

}  // namespace slicery::bench
