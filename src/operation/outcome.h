// What an operation returns to the menu that ran it.
#pragma once

namespace slicery {

enum class OperationOutcome {
  kBackToMenu,  // the user asked for another operation
  kEndProgram,  // the user declined one, cancelled a volume request, or a fatal error
};

}  // namespace slicery
