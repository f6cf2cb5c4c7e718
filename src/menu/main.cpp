// Slicery: breaks one file onto removable volumes and joins them back.
#include <memory>

#include "menu/host_context.h"
#include "menu/menu_loop.h"

int main() {
  // A host that cannot be used as configured (a bad volume size, say) has
  // already said why on standard error; that is the one exit status but 0.
  std::unique_ptr<slicery::HostContext> host = slicery::HostContext::Open();
  if (!host) return 2;
  return slicery::RunMenuLoop(host->context());
}
