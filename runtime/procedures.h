#pragma once
// The registry of procedures that can be started by name (menu commands start their procedures
// this way). A name is entered once with its function; names are compared exactly, as the menu
// table spells them ("BrowseSITEDX", "PrintURL:K_Description").
//
// Static libraries drop object files nobody references, so registration is explicit: each
// subsystem has a registration function that the shell calls at start-up. Tests register their
// own procedures under the real names.
//
// Callers: the shell at start-up (register), menu commands (find); tests (register, unregister).

#include <functional>
#include <string>
#include <string_view>

namespace sitedex::runtime {

using ProcedureFunction = std::function<void()>;

// Enters or replaces the procedure of that name.
void registerProcedure(std::string name, ProcedureFunction function);
void unregisterProcedure(std::string_view name);

// The procedure of that name, or nullptr when none is registered.
const ProcedureFunction* findProcedure(std::string_view name);

}  // namespace sitedex::runtime
