#pragma once
// The registry of procedures that can be started by name (menu commands start their procedures
// this way). A name is entered once with its function; names are compared exactly, as the menu
// table spells them ("BrowseSITEDX", "PrintURL:K_Description").
//
// Static libraries drop object files nobody references, so registration is explicit: each
// subsystem has a registration function that the shell calls at start-up. Tests register their
// own procedures under the real names.
//
// Also here: CallRequest and CallResponse, the per-thread request a procedure is called with and the
// response it returns (a browse calling its update form), with their codes.
//
// Callers: the shell at start-up (register), menu commands (find); tests (register, unregister);
// any procedure (CallRequest, CallResponse).

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

inline constexpr long RequestInsert = 1;
inline constexpr long RequestChange = 2;
inline constexpr long RequestDelete = 3;
inline constexpr long RequestSelect = 4;
inline constexpr long ResponseCompleted = 1;
inline constexpr long ResponseCancelled = 2;

// The running thread's request and response variables (0 when a thread starts).
long& CallRequest();
long& CallResponse();

}  // namespace sitedex::runtime
