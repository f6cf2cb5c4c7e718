// System programs for the media tests: found on the search path (sbin
// included), run to their end, and described when they fail.
#pragma once

#include <string>
#include <vector>

namespace slicery::e2e {

// The full path of `name` on the search path and in sbin; empty when absent.
std::string FindProgram(const std::string& name);

// Runs a command to its end; standard output and error go to *output. True
// when it exited with status 0.
bool RunCommand(const std::vector<std::string>& argv, std::string* output);

// "`argv...` failed: <output>", for error messages.
std::string Describe(const std::vector<std::string>& argv, const std::string& output);

}  // namespace slicery::e2e
