#pragma once
// The few values Main sets at start-up that other procedures read: the version text (shown by the
// splash and About), the body-in-frame option of the frame export, and the name of the document to
// import. Shared by all threads; the program's threads never run at the same time.
//
// Callers: Main sets them; the splash, About, the export writer and the document import read them.

#include <string>

namespace sitedex::app::shell {

// The data version, as read from [System] Version and then set to kVersion.
std::string& versionText();
// 1 when [Settings] BodyInFrame reads as the number 1, else 0.
int& bodyInFrame();
// "bookmark.htm" once Main has started.
std::string& importDocumentName();

inline constexpr const char* kVersion = "1.5";

}  // namespace sitedex::app::shell
