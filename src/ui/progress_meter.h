// One progress line per volume: label, dots, "] ", then the caller's count.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace slicery {

// A full progress line has this many parts: a chunk is drawn in 25ths.
inline constexpr int kProgressScale = 25;

class ProgressMeter {
 public:
  explicit ProgressMeter(std::ostream& out) : out_(out) {}
  void Start(const char* label);  // writes the label and flushes
  void Dot();                     // writes "."
  void Show();                    // flushes, so the dots so far are on the screen
  void Finish();                  // writes "] " and flushes

 private:
  std::ostream& out_;
};

// For a meter that counts 25ths of `length` bytes: draws and shows the dots
// owed once `done` bytes are through, beyond the *drawn already there.
void DrawDotsDue(ProgressMeter& meter, std::uint64_t done, std::uint64_t length,
                 std::uint64_t* drawn);

}  // namespace slicery
