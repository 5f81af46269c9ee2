#include "ui/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initialiseSitedexResources() { Q_INIT_RESOURCE(sitedex); }

namespace sitedex::ui {

void loadResources() {
    static bool loaded = false;
    if (loaded) return;
    loaded = true;
    initialiseSitedexResources();
}

}  // namespace sitedex::ui
