#include "check/verdict.h"

#include <algorithm>

#include "check/disk_lines.h"

namespace slicery {
namespace {

using State = CheckedDisk::State;

std::string Plural(std::uint64_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// "A", "A and B", "A, B and C".
std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  }
  return text;
}

std::string Capitalized(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] -= 'a' - 'A';
  return text;
}

// One line for a damaged disk.
std::string DamageLine(const CheckedDisk& disk, const std::string& name,
                       std::uint64_t block_size) {
  const std::uint64_t total =
      block_size == 0 ? 0 : BlocksIn(disk.blocks.length, block_size);
  std::string line = Capitalized(name);
  switch (disk.state) {
    case State::kGood:
      line += "'s blocks are all good";
      break;
    case State::kBadBlocks:
      line += " has " +
              Plural(disk.blocks.all_bad ? total : disk.blocks.bad.size(), "bad block") +
              " of " + std::to_string(total);
      break;
    case State::kNoChecksums:
      line +=
          " has unreadable checksums: its " + Plural(total, "block") + " count as bad";
      break;
    case State::kMissing:
      line += " is missing";
      break;
    case State::kWrongLength:
      line += " holds " + Plural(disk.bytes_read, "byte") + ", its record says " +
              std::to_string(disk.blocks.length);
      break;
    case State::kUnreadable:
      line +=
          " does not read through: a read error after " + Plural(disk.bytes_read, "byte");
      break;
  }
  const char* joint = disk.state == State::kGood ? ", but " : ", and ";
  if (disk.longer) line += joint + std::string("its data file goes on past its chunk");
  if (disk.record_damaged) line += joint + std::string("its record is damaged");
  return line + ".\n";
}

std::string DamageLines(const CheckedSet& set) {
  std::string text;
  for (std::size_t i = 0; i < set.data.size(); ++i) {
    if (set.data[i].Damaged())
      text += DamageLine(set.data[i], DiskName(false, i), set.block_size);
  }
  for (std::size_t r = 0; r < set.recovery.size(); ++r) {
    if (set.recovery[r].Damaged())
      text += DamageLine(set.recovery[r], DiskName(true, r), set.block_size);
  }
  return text;
}

// Bad blocks in each stripe, data and recovery disks alike.
std::vector<int> BadPerStripe(const CheckedSet& set) {
  std::vector<int> bad(BlocksIn(set.LongestChunk(), set.block_size));
  const auto add = [&](const CheckedDisk& disk) {
    if (disk.blocks.all_bad) {
      for (std::uint64_t j = 0; j < BlocksIn(disk.blocks.length, set.block_size); ++j)
        ++bad[j];
    } else {
      for (const auto& entry : disk.blocks.bad) ++bad[entry.first];
    }
  };
  for (const CheckedDisk& disk : set.data) add(disk);
  for (const CheckedDisk& disk : set.recovery) add(disk);
  // Recovery disks never asked for count as lost in every stripe.
  const int unread = set.recovery_disks - static_cast<int>(set.recovery.size());
  for (int& count : bad) count += std::max(unread, 0);
  return bad;
}

// The data disks with a bad block in a stripe that has more bad blocks than
// the set has recovery disks.
std::vector<std::int32_t> LostDisks(const CheckedSet& set, const std::vector<int>& bad) {
  std::vector<std::int32_t> lost;
  for (std::size_t i = 0; i < set.data.size(); ++i) {
    const DiskBlocks& blocks = set.data[i].blocks;
    for (std::uint64_t j = 0; j < BlocksIn(blocks.length, set.block_size); ++j) {
      if (bad[j] > set.recovery_disks && blocks.IsBad(j)) {
        lost.push_back(static_cast<std::int32_t>(i));
        break;
      }
    }
  }
  return lost;
}

// "The set cannot be rebuilt.", the data disks whose blocks are lost and
// why, and the damage found.
std::string LostText(const CheckedSet& set, const std::vector<std::int32_t>& lost,
                     const std::string& why) {
  std::vector<std::string> names;
  for (const std::int32_t i : lost) names.push_back(DiskName(false, i));
  std::string text = "The set cannot be rebuilt.\n";
  if (!names.empty())
    text += "The blocks of " + Listed(names) + " are lost: " + why + "\n";
  if (set.end_unknown) {
    text +=
        "Nothing told where the set goes on after the disk that is missing, so the "
        "disks after it were not checked.\n";
  }
  text += DamageLines(set);
  text.pop_back();  // the last line end
  return text;
}

constexpr char kTooMuch[] =
    "the set's recovery disks cannot make up for that much damage.";

// "Its weakest stripe ... can take N more bad blocks."
std::string WeakestStripe(const CheckedSet& set, const std::vector<int>& bad) {
  const auto weakest = std::max_element(bad.begin(), bad.end());
  if (weakest == bad.end()) return "";
  const int spare = set.recovery_disks - *weakest;
  return "Its weakest stripe, block " + std::to_string(weakest - bad.begin() + 1) +
         " of the chunks, can take " +
         (spare == 0 ? std::string("no more bad blocks")
                     : Plural(spare, "more bad block")) +
         ".";
}

Verdict JudgePlainSet(const CheckedSet& set) {
  const std::string note =
      "A set without recovery disks has no checksums: a changed byte cannot be seen in "
      "it.";
  if (!set.Damaged()) {
    return {kSetWhole, "The set is whole.\nEach of its " +
                           Plural(set.data.size(), "disk") +
                           " reads through as long as its record says.\n" + note};
  }
  std::vector<std::int32_t> lost;
  for (std::size_t i = 0; i < set.data.size(); ++i) {
    if (set.data[i].Damaged()) lost.push_back(static_cast<std::int32_t>(i));
  }
  return {kSetLost,
          LostText(set, lost, "a set without recovery disks cannot make up for damage.") +
              "\n" + note};
}

}  // namespace

bool StripesRepairable(const CheckedSet& set) {
  if (set.end_unknown || set.block_size == 0) return false;
  return LostDisks(set, BadPerStripe(set)).empty();
}

Verdict JudgeSet(const CheckedSet& set,
                 const std::optional<std::vector<std::int32_t>>& repair_lost) {
  if (!set.has_recovery) return JudgePlainSet(set);
  if (!set.Damaged()) {
    return {kSetWhole, "The set is whole.\nEvery block of its " +
                           Plural(set.data.size(), "data disk") + " and " +
                           Plural(set.recovery.size(), "recovery disk") +
                           " matches its checksum."};
  }
  if (set.block_size == 0 || set.end_unknown) {
    std::vector<std::int32_t> all;
    for (std::size_t i = 0; i < set.data.size(); ++i) {
      if (set.data[i].Damaged()) all.push_back(static_cast<std::int32_t>(i));
    }
    return {kSetLost, LostText(set, all, kTooMuch)};
  }
  const std::vector<int> bad = BadPerStripe(set);
  const std::vector<std::int32_t> lost = LostDisks(set, bad);
  if (!lost.empty()) return {kSetLost, LostText(set, lost, kTooMuch)};
  if (repair_lost && !repair_lost->empty()) {
    return {kSetLost,
            LostText(set, *repair_lost,
                     "rebuilt from the recovery disks, they do not match the set's "
                     "checksums.")};
  }
  return {kSetRepairable,
          "The set can be rebuilt.\n" + DamageLines(set) + WeakestStripe(set, bad)};
}

}  // namespace slicery
