#pragma once
// The pictures and documents built into the program (resources/sitedex.qrc): the program's picture
// ":/SITEDX01.GIF" and the help document ":/help/sitedex-help.html".
//
// The resources live in a static library, which the linker would leave out unless something calls
// into it: loadResources() makes them available and may be called any number of times.
//
// Callers: the desktop start-up and ensureApplication().

namespace sitedex::ui {

inline constexpr const char* kProgramPicture = ":/SITEDX01.GIF";
inline constexpr const char* kHelpDocument = ":/help/sitedex-help.html";

void loadResources();

}  // namespace sitedex::ui
