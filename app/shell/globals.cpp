#include "app/shell/globals.h"

namespace sitedex::app::shell {

std::string& versionText() {
    static std::string v;
    return v;
}

int& bodyInFrame() {
    static int v = 0;
    return v;
}

std::string& importDocumentName() {
    static std::string v;
    return v;
}

}  // namespace sitedex::app::shell
